#pragma once
// The accounts bound to a device: list, bind, unbind. Only the device's
// administrator uses these. Message boxes are titled "提示" unless noted.

#include <atomic>
#include <string>
#include <vector>

namespace lumivex {

struct ServiceContext;

struct BoundUser {
  std::string uid;  // UTF-8
  bool isAdmin = false;
};

// "bindUserList.do", page by page ("page" 1, 2, ... of 10 users) until a
// short page; the administrator first, the others in reply order, each user
// once. closing (may be null) stops adding rows. 1 on success.
int ListBoundUsers(ServiceContext& ctx, const std::string& sid, std::vector<BoundUser>& users,
                   const std::atomic<bool>* closing = nullptr);
// "addUser.do": name already checked. 1 on "OK" (the caller lists again).
int AddBoundUser(ServiceContext& ctx, const std::string& sid, const std::string& name);
// "deleteBindUser.do". 1 on "OK" (the caller lists again).
int DeleteBoundUser(ServiceContext& ctx, const std::string& sid, const std::string& name);

}  // namespace lumivex
