#include "platform/midi/sequence.h"

#include "platform/midi/messages.h"
#include "platform/midi/singer_bounds.h"

#include <algorithm>

namespace midi {

namespace {

// What a channel's volume is until the song sets one, and after a reset.
constexpr uint8_t kDefaultVolume = 100;

// How far a loop's end may lie behind where the song is sent, as the user
// sets it where it is heard: the output's delay, and then some.
constexpr uint64_t kLateLoopEndUs = 1000000;

// On the General MIDI volume curve, 40 log10(v / 127) dB, half the value is
// 12 dB down: quiet enough to sing over, loud enough to follow.
uint8_t halved(uint8_t volume)
{
    return static_cast<uint8_t>((volume + 1) / 2);
}

} // namespace

// ---------------------------------------------------------------- merger

Merger::Merger(const Song& song) : song_(song)
{
    heap_.reserve(song.tracks.size());
    seekTick(0);
}

void Merger::push(uint32_t track, uint32_t index)
{
    heap_.push_back({song_.events[index].tick, track, index});
    std::push_heap(heap_.begin(), heap_.end(), later);
}

void Merger::seekTick(uint32_t tick)
{
    heap_.clear();
    for (uint32_t t = 0; t < song_.tracks.size(); ++t) {
        const Track& track = song_.tracks[t];
        const auto begin = song_.events.begin() + track.first;
        const auto end = begin + track.count;
        const auto it = std::lower_bound(begin, end, tick, [](const Event& e, uint32_t v) { return e.tick < v; });
        if (it != end)
            push(t, static_cast<uint32_t>(it - song_.events.begin()));
    }
}

void Merger::pop()
{
    std::pop_heap(heap_.begin(), heap_.end(), later);
    const Head head = heap_.back();
    heap_.pop_back();
    const Track& track = song_.tracks[head.track];
    if (head.index + 1 < track.first + track.count)
        push(head.track, head.index + 1);
}

// ---------------------------------------------------------------- sequence

Sequence::Sequence(std::shared_ptr<const Song> song, std::shared_ptr<Output> output)
    : song_(std::move(song)), output_(std::move(output)), merger_(*song_)
{
    volume_.fill(kDefaultVolume);
}

TimePoint Sequence::deadline(uint64_t micros) const
{
    // A file can stretch time past what the clock counts (2^32 ticks of 16
    // seconds); such times are out of reach anyway.
    constexpr uint64_t farthest = uint64_t{1} << 50;
    micros = std::min(micros, farthest);
    const int64_t songMicros = static_cast<int64_t>(micros) - static_cast<int64_t>(std::min(anchorMicros_, farthest));
    return anchorTime_ + std::chrono::microseconds(songMicros * 100 / tempo_);
}

uint64_t Sequence::eventMicros(uint32_t tick)
{
    if (tick != cachedTick_) {
        cachedTick_ = tick;
        cachedMicros_ = song_->tempo.micros(tick);
    }
    return cachedMicros_;
}

void Sequence::play(TimePoint now)
{
    if (state_ == State::Playing)
        return;
    state_ = State::Playing;
    owedWithoutNotes_ = false;
    anchorMicros_ = position_;
    looping_ = loop_ && position_ < loop_->end;
    // After a reset an external synthesizer needs a moment: the song starts
    // once it is ready, so that its first notes are not bunched together.
    anchorTime_ = std::max(now, output_->readyAt());
}

std::optional<TimePoint> Sequence::process(TimePoint now, size_t budget)
{
    if (state_ != State::Playing)
        return settle(now, budget);
    if (chasePending_) {
        if (!chase(now, budget))
            return now;
        chasePending_ = false;
    }
    while (!merger_.done()) {
        const Event& event = merger_.peek();
        const uint64_t micros = eventMicros(event.tick);
        if (silencePending_ && !(owedUntil_ && micros <= *owedUntil_)) {
            // What a halt owed has gone out; its silence comes before the rest.
            silence(now);
            owedUntil_.reset();
        }
        if (loopsAt(micros))
            break;
        const TimePoint due = deadline(micros);
        if (due > now)
            return due;
        if (budget-- == 0)
            return now;
        sendEvent(event, due);
        merger_.pop();
    }
    if (silencePending_)
        silence(now);
    if (looping_) {
        const TimePoint back = deadline(loop_->end);
        if (back > now)
            return back;
        returnToLoop(back, now);
        return now;
    }
    const TimePoint end = deadline(song_->lengthMicros);
    if (end > now)
        return end;
    // A file cut short can leave notes without their note-offs.
    silence(end);
    state_ = State::Stopped;
    position_ = song_->lengthMicros;
    ended_ = true;
    return std::nullopt;
}

std::optional<TimePoint> Sequence::settle(TimePoint now, size_t budget)
{
    while (owedUntil_ && !merger_.done()) {
        const Event& event = merger_.peek();
        const uint64_t micros = eventMicros(event.tick);
        if (micros > *owedUntil_)
            break;
        const uint8_t kind = event.isSysex() ? 0xF0 : event.status() & 0xF0;
        if (owedWithoutNotes_ && (kind == 0x80 || kind == 0x90)) {
            merger_.pop();
            continue;
        }
        if (budget-- == 0)
            return now;
        sendEvent(event, std::min(deadline(micros), now));
        merger_.pop();
    }
    owedUntil_.reset();
    owedWithoutNotes_ = false;
    if (silencePending_)
        silence(now);
    return std::nullopt;
}

bool Sequence::takeEnded()
{
    const bool ended = ended_;
    ended_ = false;
    return ended;
}

void Sequence::halt(State to, TimePoint now)
{
    if (state_ == State::Playing) {
        // What was due by now still goes out, and then the silence; process()
        // sends both, so that a halt never waits for the output.
        const uint64_t reached = positionMicros(now);
        if (now >= anchorTime_)
            owedUntil_ = std::max(owedUntil_.value_or(0), reached);
        position_ = reached;
        state_ = to;
        if (reached >= song_->lengthMicros) {
            // The end came before the halt did.
            state_ = State::Stopped;
            ended_ = true;
        }
    } else if (to == State::Stopped) {
        state_ = to;
    }
    silencePending_ = true;
}

void Sequence::pause(TimePoint now) { halt(State::Paused, now); }

// A stop or a close still owes what was due (a reset whose time has come,
// programs, controllers), but not its notes: the silence follows them at
// once, and a song of a million notes at one instant must not hold the
// stop up while they go out.
void Sequence::stop(TimePoint now)
{
    halt(State::Stopped, now);
    owedWithoutNotes_ = true;
}

void Sequence::seek(uint64_t micros, TimePoint now)
{
    halt(State::Stopped, now);
    // A seek skips what was still owed; the channels are silenced and chased all the same.
    owedUntil_.reset();
    // A position in the last millisecond is the end: the end is where
    // position and length read the same.
    const uint64_t length = song_->lengthMicros;
    position_ = micros >= uint64_t{song_->lengthMs()} * 1000 ? length : micros;
    merger_.seekTick(song_->tempo.firstTickAtOrAfter(position_));
    chasePending_ = true;
    returning_ = false;
    chasedAt_.reset();
}

void Sequence::setLoop(uint64_t begin, uint64_t end, TimePoint now)
{
    end = std::min(end, song_->lengthMicros);
    if (begin >= end)
        return clearLoop();
    loop_ = Loop {begin, end};
    loopChase_.reset();
    // An end set where the song is heard lies behind where it is sent:
    // the loop comes round at once.
    const uint64_t at = state_ == State::Playing ? positionMicros(now) : position_;
    looping_ = at < end + kLateLoopEndUs;
}

void Sequence::clearLoop()
{
    loop_.reset();
    looping_ = false;
    loopChase_.reset();
}

bool Sequence::takeLooped()
{
    const bool looped = looped_;
    looped_ = false;
    return looped;
}

// The events at or past the loop's end wait for the return.
bool Sequence::loopsAt(uint64_t micros) const
{
    return looping_ && micros >= loop_->end;
}

// At AT, the loop's end: what sounds ends, and the song goes on from the
// loop's start on the same instant, chased first as after a seek. An end
// set behind what was sent comes round from now: the past is not replayed.
void Sequence::returnToLoop(TimePoint at, TimePoint now)
{
    if (now - at > std::chrono::microseconds(kLateLoopEndUs / 10))
        at = now;
    silence(at);
    position_ = loop_->begin;
    anchorMicros_ = loop_->begin;
    anchorTime_ = at;
    merger_.seekTick(song_->tempo.firstTickAtOrAfter(loop_->begin));
    chasePending_ = true;
    returning_ = true;
    chasedAt_.reset();
    looped_ = true;
}

void Sequence::setTranspose(int semitones, TimePoint now)
{
    transposer_.change(semitones, [&](std::span<const uint8_t> message) { send(message, now); });
}

void Sequence::setTempo(int percent, TimePoint now)
{
    // Before the output is ready the song has not started: nothing to carry over.
    if (state_ == State::Playing && now > anchorTime_) {
        anchorMicros_ = positionMicros(now);
        anchorTime_ = now;
    }
    tempo_ = clampedTempo(percent);
}

void Sequence::setSilenced(uint16_t channels, TimePoint now)
{
    const uint16_t falling = channels & ~silenced_;
    silenced_ = channels;
    transposer_.end(falling, [&](std::span<const uint8_t> message) { send(message, now); });
    // A synthesizer's release can ring on long after the note-off: the
    // channel falls silent at once, the others ring on.
    for (uint8_t ch = 0; ch < 16; ++ch) {
        if (falling & (1u << ch)) {
            const uint8_t soundOff[3] = {static_cast<uint8_t>(0xB0 | ch), 120, 0};
            send(soundOff, now);
        }
    }
}

void Sequence::setQuiet(uint16_t channels, TimePoint now)
{
    const uint16_t changed = channels ^ quiet_;
    quiet_ = channels;
    for (uint8_t ch = 0; ch < 16; ++ch)
        if (changed & (1u << ch))
            sendVolume(ch, now);
}

void Sequence::setMetering(bool on)
{
    if (on != metering_)
        meter_.clear();
    metering_ = on;
}

void Sequence::close(TimePoint now)
{
    stop(now);
    // The output outlives the song: the next one must not find its
    // channels quietened.
    setQuiet(0, now);
}

bool Sequence::settled() const { return state_ != State::Playing && !owedUntil_ && !silencePending_; }

uint64_t Sequence::positionMicros(TimePoint now) const
{
    if (state_ != State::Playing)
        return position_;
    const int64_t elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - anchorTime_).count();
    const uint64_t songElapsed = static_cast<uint64_t>(std::max<int64_t>(elapsed, 0) * tempo_ / 100);
    return std::min(anchorMicros_ + songElapsed, looping_ ? loop_->end : song_->lengthMicros);
}

uint32_t Sequence::positionMs(TimePoint now) const
{
    const uint64_t micros = positionMicros(now);
    const uint32_t length = lengthMs();
    if (state_ != State::Playing && micros >= song_->lengthMicros)
        return length;
    const uint32_t ms = millisFromMicros(micros);
    return length > 0 && ms >= length ? length - 1 : ms;
}

void Sequence::send(std::span<const uint8_t> bytes, TimePoint due)
{
    if (metering_)
        meter_.observe(bytes);
    output_->send(bytes, due);
}

// What the song sends, the volume of a quiet channel halved.
void Sequence::sendMixed(std::span<const uint8_t> bytes, TimePoint due)
{
    if (bytes.size() == 3 && (bytes[0] & 0xF0) == 0xB0 && bytes[1] == 7) {
        volume_[bytes[0] & 0x0F] = bytes[2];
        sendVolume(bytes[0] & 0x0F, due);
        return;
    }
    send(bytes, due);
    if (!bytes.empty() && bytes[0] == 0xF0 && resetKind(bytes) != ResetKind::None) {
        // A reset brings every channel back to full volume, the quiet ones too.
        volume_.fill(kDefaultVolume);
        for (uint8_t ch = 0; ch < 16; ++ch)
            if (quiet_ & (1u << ch))
                sendVolume(ch, due);
    }
}

void Sequence::sendVolume(int channel, TimePoint due)
{
    const uint8_t volume = quiet_ & (1u << channel) ? halved(volume_[channel]) : volume_[channel];
    const uint8_t message[3] = {static_cast<uint8_t>(0xB0 | channel), 7, volume};
    send(message, due);
}

void Sequence::sendEvent(const Event& event, TimePoint due)
{
    if (event.isSysex()) {
        transposer_.observe(song_->sysex(event.sysexIndex()));
        sendMixed(song_->sysex(event.sysexIndex()), due);
        return;
    }
    uint8_t bytes[3] = {event.status(), event.data1(), event.data2()};
    const std::span<uint8_t> message(bytes, static_cast<size_t>(1 + channelDataBytes(event.status())));
    const uint16_t channel = static_cast<uint16_t>(1u << (event.status() & 0x0F));
    const bool strikes = (event.status() & 0xF0) == 0x90 && event.data2() > 0;
    if (strikes && (silenced_ & channel))
        return;
    if (!transposer_.pass(message))
        return;
    if (strikes)
        sounded_ |= channel;
    sendMixed(message, due);
}

void Sequence::silence(TimePoint now)
{
    for (uint8_t ch = 0; ch < 16; ++ch) {
        if (!(sounded_ & (1u << ch)))
            continue;
        const uint8_t allNotesOff[3] = {static_cast<uint8_t>(0xB0 | ch), 123, 0};
        const uint8_t sustainOff[3] = {static_cast<uint8_t>(0xB0 | ch), 64, 0};
        send(allNotesOff, now);
        send(sustainOff, now);
    }
    transposer_.silenced(sounded_);
    sounded_ = 0;
    silencePending_ = false;
}

// True once the chase has been sent; false when BUDGET ran out first.
bool Sequence::chase(TimePoint now, size_t& budget)
{
    // The chase goes out no later than the notes it comes before: a return
    // to the loop is due at the loop's end, which may have passed already.
    const TimePoint due = std::min(now, anchorTime_);
    const auto send = [&](std::span<const uint8_t> bytes) {
        transposer_.observe(bytes);
        sendMixed(bytes, due);
    };
    if (returning_ && loopChase_ && whole_) {
        loopChase_->emit(*song_, *whole_, send);
        returning_ = false;
        return true;
    }
    if (!whole_) {
        if (!wholeAt_)
            wholeAt_.emplace(*song_);
        for (; !wholeAt_->done(); wholeAt_->pop()) {
            if (budget == 0)
                return false;
            --budget;
            wholeSoFar_.apply(wholeAt_->peek(), *song_);
        }
        whole_ = std::make_unique<Chase>(std::move(wholeSoFar_));
        wholeAt_.reset();
    }
    if (!chasedAt_) {
        chasedAt_.emplace(*song_);
        chased_ = Chase();
    }
    // A pause meanwhile moves the position on, never back: the chase goes on
    // to where it stands now.
    const uint32_t until = song_->tempo.firstTickAtOrAfter(position_);
    for (; !chasedAt_->done() && chasedAt_->peek().tick < until; chasedAt_->pop()) {
        if (budget == 0)
            return false;
        --budget;
        chased_.apply(chasedAt_->peek(), *song_);
    }
    chased_.emit(*song_, *whole_, send);
    if (returning_)
        loopChase_ = chased_;
    returning_ = false;
    chasedAt_.reset();
    return true;
}

} // namespace midi
