#include "core/media_kinds.h"

#include "core/textrules.h"

namespace media_kinds {

namespace {

using enum Editor;
using enum mci::DeviceType;

// .BUN files play on the wave-audio device but go to the MIDI editor.
// One row a kind, on one line.
// clang-format off
constexpr Kind kKinds[] = {
    {.extension = ".mid", .autoSelect = Sequencer, .pauseAfter = true, .editor = Midi, .box = AssociationBox::Midi, .mimeType = "audio/midi"},
    {.extension = ".rmi", .autoSelect = Sequencer, .pauseAfter = true, .editor = Midi, .box = AssociationBox::Rmid,
     .mimeType = "audio/x-quorvana-rmid", .mimeParent = "audio/midi", .mimeComment = "MIDI song in a RIFF wrapper"},
    {.extension = ".wav", .autoSelect = WaveAudio, .editor = Wave, .box = AssociationBox::Wave, .mimeType = "audio/x-wav"},
    {.extension = ".avi", .autoSelect = AviVideo, .editor = Video, .box = AssociationBox::Video, .mimeType = "video/x-msvideo"},
    {.extension = ".wa~", .waveOnly = true, .editor = Wave, .box = AssociationBox::Wave,
     .mimeType = "audio/x-quorvana-wave-backup", .mimeParent = "audio/x-wav", .mimeComment = "Wave sound (backup copy)"},
    {.extension = ".bun", .waveOnly = true, .editor = Midi,
     .mimeType = "audio/x-quorvana-bun", .mimeParent = "audio/x-wav", .mimeComment = "Wave sound bundle"},
    // Karaoke songs are Standard MIDI Files with words; singers keep whole
    // folders of them, so the list shows them and the MIDI box takes them.
    {.extension = ".kar", .autoSelect = Sequencer, .pauseAfter = true, .editor = Midi, .box = AssociationBox::Midi, .mimeType = "audio/midi"},
    // The desktop offers us every audio/midi file: this is a Standard MIDI
    // File under the type's other name.
    {.extension = ".midi", .listed = false, .autoSelect = Sequencer, .pauseAfter = true, .editor = Midi, .mimeType = "audio/midi"},
};
// clang-format on

} // namespace

std::span<const Kind> all() { return kKinds; }

const Kind* kindOfExtension(const QString& extension)
{
    const QString upper = textrules::upperAscii(extension);
    for (const Kind& kind : kKinds) {
        if (upper == textrules::upperAscii(QString::fromLatin1(kind.extension)))
            return &kind;
    }
    return nullptr;
}

const Kind* kindOf(const QString& path) { return kindOfExtension(textrules::extractFileExt(path)); }

mci::DeviceType askedDevice(const Kind* kind)
{
    return kind && kind->waveOnly ? WaveAudio : AutoSelect;
}

mci::DeviceType resolvedDevice(mci::DeviceType type, const QString& path)
{
    if (type != AutoSelect || path.isEmpty())
        return type;
    const Kind* kind = kindOf(path);
    return kind ? kind->autoSelect : AutoSelect;
}

QString browserMask()
{
    QStringList patterns;
    for (const Kind& kind : kKinds)
        if (kind.listed)
            patterns.append(QStringLiteral("*") + QString::fromLatin1(kind.extension));
    return patterns.join(u';');
}

} // namespace media_kinds
