#pragma once

#include "store/records.h"

#include <string>
#include <vector>

// The signed-in user of one request, with the groups (and their parent groups)
// the user belongs to. Built from the token by AccountService.
struct Session {
    User user;
    std::vector<std::string> groups;

    const std::string &userId() const { return user.id; }
    bool isAdmin() const { return user.isAdmin; }
};
