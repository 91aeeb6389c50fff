#include "platform/midi/alsa_output.h"

#include "platform/midi/messages.h"
#include "platform/multimedia/choices.h"

#include <string>
#include <thread>

namespace midi {

namespace {

// Long SysEx goes out in pieces that every port passes on.
constexpr size_t sysexChunk = 256;

// alsa-lib prints its errors on stderr; ours carry them to the user.
void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

} // namespace

bool encodeAlsaEvent(std::span<const uint8_t> m, snd_seq_event_t& ev)
{
    if (m.empty())
        return false;
    const uint8_t status = m[0];
    if (status < 0x80 || status >= 0xF0) {
        snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(m.size()), const_cast<uint8_t*>(m.data()));
        return true;
    }
    if (m.size() < static_cast<size_t>(1 + channelDataBytes(status)))
        return false;
    const int ch = status & 0x0F;
    const int d1 = m[1] & 0x7F;
    const int d2 = m.size() > 2 ? m[2] & 0x7F : 0;
    switch (status & 0xF0) {
    case 0x80: snd_seq_ev_set_noteoff(&ev, ch, d1, d2); break;
    case 0x90: snd_seq_ev_set_noteon(&ev, ch, d1, d2); break;
    case 0xA0: snd_seq_ev_set_keypress(&ev, ch, d1, d2); break;
    case 0xB0: snd_seq_ev_set_controller(&ev, ch, d1, d2); break;
    case 0xC0: snd_seq_ev_set_pgmchange(&ev, ch, d1); break;
    case 0xD0: snd_seq_ev_set_chanpress(&ev, ch, d1); break;
    default: snd_seq_ev_set_pitchbend(&ev, ch, (d1 | d2 << 7) - 8192); break;
    }
    return true;
}

void ResetSettle::sent(std::span<const uint8_t> message, TimePoint at)
{
    if (!message.empty() && message[0] == 0xF0 && resetKind(message) != ResetKind::None)
        readyAt_ = at + settle_;
}

std::chrono::milliseconds resetSettleTime(const multimedia::Choices& choices)
{
    return std::chrono::milliseconds(choices.overrides.resetSettleMs.value_or(choices.resetSettleMs));
}

void AlsaOutput::setSettleTime(std::chrono::milliseconds settle)
{
    std::lock_guard lock(mutex_);
    settle_.setSettle(settle);
}

std::unique_ptr<AlsaOutput> AlsaOutput::open(
    const std::string& address, std::chrono::milliseconds settle, std::string& error)
{
    static const bool quiet = snd_lib_error_set_handler(quietAlsaErrors) == 0;
    (void)quiet;
    std::unique_ptr<AlsaOutput> out(new AlsaOutput(settle));
    if (int rc = snd_seq_open(&out->seq_, "default", SND_SEQ_OPEN_OUTPUT, 0); rc < 0) {
        out->seq_ = nullptr;
        error = std::string("The ALSA sequencer cannot be reached (") + snd_strerror(rc) + ").";
        return nullptr;
    }
    snd_seq_set_client_name(out->seq_, "Quorvana");
    out->port_ = snd_seq_create_simple_port(out->seq_, "Quorvana MIDI out",
                                            SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (out->port_ < 0) {
        error = std::string("No ALSA sequencer port could be created (") + snd_strerror(out->port_) + ").";
        return nullptr;
    }
    if (address.empty() || snd_seq_parse_address(out->seq_, &out->dest_, address.c_str()) < 0) {
        error = "The ALSA sequencer port \"" + address + "\" does not exist (expected alsa:CLIENT:PORT).";
        return nullptr;
    }
    if (int rc = snd_seq_connect_to(out->seq_, out->port_, out->dest_.client, out->dest_.port); rc < 0) {
        error = "The ALSA sequencer port " + address + " cannot be reached (" + snd_strerror(rc) + ").";
        return nullptr;
    }
    return out;
}

AlsaOutput::~AlsaOutput()
{
    if (seq_)
        snd_seq_close(seq_);
}

TimePoint AlsaOutput::readyAt() const
{
    std::lock_guard lock(mutex_);
    return settle_.readyAt();
}

void AlsaOutput::output(snd_seq_event_t& ev)
{
    snd_seq_ev_set_source(&ev, port_);
    snd_seq_ev_set_dest(&ev, dest_.client, dest_.port);
    snd_seq_ev_set_direct(&ev);
    snd_seq_event_output_direct(seq_, &ev);
}

void AlsaOutput::send(std::span<const uint8_t> message, TimePoint)
{
    std::lock_guard lock(mutex_);
    if (settle_.readyAt() > Clock::now())
        std::this_thread::sleep_until(settle_.readyAt());
    snd_seq_event_t ev;
    if (!message.empty() && message[0] >= 0x80 && message[0] < 0xF0) {
        snd_seq_ev_clear(&ev);
        if (!encodeAlsaEvent(message, ev))
            return;
        output(ev);
    } else {
        for (size_t at = 0; at < message.size(); at += sysexChunk) {
            const auto piece = message.subspan(at, std::min(sysexChunk, message.size() - at));
            snd_seq_ev_clear(&ev);
            snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(piece.size()), const_cast<uint8_t*>(piece.data()));
            output(ev);
        }
    }
    settle_.sent(message, Clock::now());
}

} // namespace midi
