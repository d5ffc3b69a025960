#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/StationCodec.h"

// Where the station's requests go: channel 1 (the channel window in the program, a fake in
// tests).
class TStationChannel {
public:
    virtual ~TStationChannel() = default;
    virtual void PurgeReceive() = 0;
    virtual void SendBytes(const uint8_t* bytes, size_t count) = 0;
};

// The test window's side of sending a command text to the station: framing through the
// codec, the reply reader's echo copy and reply flag, and the channel.
class TStationSender {
public:
    struct Sent_T {
        bool sent = false;
        std::vector<uint8_t> packet;
        std::string status2;  // status bar, second panel
        std::string logLine;  // the packet as blank-separated hexadecimal, for the exchange log
    };

    // Sends `text` as one request packet; `rewrite` may change the last payload byte first.
    Sent_T Send(const std::string& text, TStationChannel& channel,
                const std::function<void(uint8_t&)>& rewrite = {});

    TReplyReader& Reader() { return reader_; }

private:
    TReplyReader reader_;
};
