#pragma once

#include <QByteArray>
#include <QJsonValue>

// Replies of a scripted server standing in for the desktop's server.

// `data` in the server's envelope: {"code": 0, "msg": "", "data": …}.
QByteArray envelope(const QJsonValue &data);

// A "分享给我的" list of `shares` shares of `filesPerShare` files each, sent
// by `senders` distinct colleagues in turn (user ids "u0", "u1", …).
QByteArray sharedWithMeReply(int shares, int filesPerShare, int senders);

// A 64 x 64 PNG, the answer to any avatar request.
QByteArray avatarPng();
