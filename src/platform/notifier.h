#pragma once
// Notifications from worker threads to the main window, by message number.
#include <cstdint>

namespace tamlorex {

// Message numbers the network client and the sliders post.
inline constexpr std::uint32_t WM_NET_STATUS = 0x2A68;
inline constexpr std::uint32_t WM_NET_SERVER_CLOSED = 0x2A69;
inline constexpr std::uint32_t WM_NET_NO_RESPONSE = 0x2A6A;
inline constexpr std::uint32_t WM_NET_LOGIN_FAILED = 0x2A6B;
// The recorder's or the lookup server's address names no host: the client has ended, its error
// text says which name could not be found.
inline constexpr std::uint32_t WM_NET_ADDRESS_UNKNOWN = 0x2A6C;
// The local recording could not write (or finish) its file and has stopped; the engine's
// recording error says why. The whole pages written before stay in the file.
inline constexpr std::uint32_t WM_LOCAL_RECORDING_FAILED = 0x2A6D;
inline constexpr std::uint32_t kSliderMoving = 0x28D1;
inline constexpr std::uint32_t kSliderReleased = 0x28D2;

class Notifier {
public:
    virtual ~Notifier() = default;
    // Queues the message for the main window's thread; never blocks the caller.
    virtual void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
};

}  // namespace tamlorex
