#pragma once
// Results as one-line JSON objects.

#include <string>

namespace lumivex {
struct CameraInfo;
struct BoundUser;
}  // namespace lumivex

namespace lumivex::cli {

std::string CameraInfoJson(int index, const CameraInfo& info);
std::string BoundUserJson(const BoundUser& user);

}  // namespace lumivex::cli
