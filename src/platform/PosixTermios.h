#pragma once

#include <termios.h>

#include <functional>

#include "platform/SerialPort.h"

// Terminal settings shared by the platform's POSIX serial layers.
namespace platform::posix {

bool SpeedCode(uint32_t baud, speed_t& code);

// Puts the descriptor in raw mode with the given line settings; `extra` may adjust the result
// (handshaking, control characters) before it is written. 0, or the errno of the failure.
// Nothing held in either direction is discarded.
int ApplySettings(int fd, const SerialSettings& s, const std::function<void(termios&)>& extra);

}  // namespace platform::posix
