#include "execution/StationSender.h"

TStationSender::Sent_T TStationSender::Send(const std::string& text, TStationChannel& channel,
                                            const std::function<void(uint8_t&)>& rewrite) {
    Sent_T r;
    RequestPacket_T p = BuildRequestPacket(text, rewrite);
    if (!p.ok) {
        r.status2 = p.error;
        return r;
    }
    reader_.RequestSent(p.bytes);
    r.status2 = "Команда отправлена";
    r.logLine = BytesToHex(p.bytes, " ");
    channel.PurgeReceive();
    channel.PurgeReceive();
    reader_.ResetAccumulation();
    channel.SendBytes(p.bytes.data(), p.bytes.size());
    r.packet = std::move(p.bytes);
    r.sent = true;
    return r;
}
