#include "playback/singer/voice_dialog.h"

#include "platform/midi/melody.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>

#include <algorithm>

namespace singer {

namespace {

QComboBox* notes(QWidget* parent, int chosen)
{
    auto* box = new QComboBox(parent);
    for (int note = kLowestVoiceNote; note <= kHighestVoiceNote; ++note)
        box->addItem(QString::fromStdString(midi::noteName(note)), note);
    box->setCurrentIndex(std::clamp(chosen, kLowestVoiceNote, kHighestVoiceNote) - kLowestVoiceNote);
    return box;
}

} // namespace

VoiceDialog::VoiceDialog(QWidget* parent, int lowest, int highest) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("My Voice"));
    // Unset, a voice from C3 to C5.
    lowest_ = notes(this, lowest < 0 ? 48 : lowest);
    highest_ = notes(this, highest < 0 ? 72 : highest);
    // A screen reader would otherwise name each box by the note it shows.
    lowest_->setAccessibleName(QStringLiteral("Lowest note"));
    highest_->setAccessibleName(QStringLiteral("Highest note"));
    auto* form = new QFormLayout(this);
    auto* about = new QLabel(
        QStringLiteral("The lowest and the highest note you sing comfortably. \"Key for My Voice\" then moves "
                       "the song so that its melody lies within them."),
        this);
    about->setWordWrap(true);
    form->addRow(about);
    form->addRow(QStringLiteral("&Lowest note:"), lowest_);
    form->addRow(QStringLiteral("&Highest note:"), highest_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

int VoiceDialog::lowest() const
{
    return std::min(lowest_->currentData().toInt(), highest_->currentData().toInt());
}

int VoiceDialog::highest() const
{
    return std::max(lowest_->currentData().toInt(), highest_->currentData().toInt());
}

} // namespace singer
