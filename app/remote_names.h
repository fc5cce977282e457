// Where a running copy is found on the session bus.
#pragma once

inline constexpr const char* kRemoteService = "org.quillon.Zarvo";
inline constexpr const char* kRemotePath = "/org/quillon/Zarvo";
inline constexpr const char* kRemoteInterface = "org.quillon.Zarvo";
