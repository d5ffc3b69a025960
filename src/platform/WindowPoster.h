#pragma once

// Where the serial manager's threads announce their work: a received message, a completed
// write, a lost link. Implementations must accept calls from any thread and must not block;
// the channel windows post a Qt event to themselves.
namespace platform {

class WindowPoster {
public:
    virtual ~WindowPoster() = default;
    virtual void post(int message) = 0;
};

}  // namespace platform
