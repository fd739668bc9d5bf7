// Every exit status of the daemon, in one place: service managers and the
// tests tell failures apart by them.
#pragma once

namespace ww {

inline constexpr int kExitAcceptFailed = 1;        // accepting on the management socket
inline constexpr int kExitAlreadyRunning = 246;    // another daemon holds the instance lock
inline constexpr int kExitListenFailed = 249;      // management socket
inline constexpr int kExitBindFailed = 250;        // management socket
inline constexpr int kExitSocketNotCreated = 251;  // management socket
inline constexpr int kExitNoNetlink = 255;         // the kernel's netlink is out of reach
// The streaming socket's; as exit statuses they are 251, 250, 249 and 248.
inline constexpr int kExitStreamingNoSocket = -5;
inline constexpr int kExitStreamingNoListen = -6;
inline constexpr int kExitStreamingNoBind = -7;
inline constexpr int kExitStreamingNoAccept = -8;

}  // namespace ww
