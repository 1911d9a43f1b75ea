#pragma once
// The service requests' identifiers, shared by the program and the reference
// server so that the two cannot drift apart.

namespace halvora::service {

inline constexpr int kServiceId = 1;
inline constexpr int kDescriptionRequestId = 311;  // the application's description
inline constexpr int kFileSizeRequestId = -4;      // the package size, from the data server
inline constexpr int kClientProgramRequestId = -1;  // the client program, from the data server

}  // namespace halvora::service
