#pragma once

// The benchmarks that talk HTTP run against a real folvane-server with the
// demo data, signed in as the administrator.

#include "core/gcore.h"
#include "serverprocess.h"

#include <cstdio>

// Starts `server`, points the client at it and signs in as "admin"; the
// token is also the client's. Returns an empty token, having said why, when
// either step fails.
inline QString startSignedIn(ServerProcess &server)
{
    if (!server.start()) {
        std::fprintf(stderr, "cannot start folvane-server: %s\n", qPrintable(server.error()));
        return QString();
    }
    server.configureClient();
    const QString token = server.login(QStringLiteral("admin"), QStringLiteral("admin123"));
    if (token.isEmpty()) {
        std::fprintf(stderr, "cannot sign in\n");
        return QString();
    }
    GCore::instance()->setToken(token);
    return token;
}
