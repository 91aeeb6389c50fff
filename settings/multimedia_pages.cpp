#include "settings/multimedia_panel.h"

#include "framework/application.h"
#include "framework/guard.h"
#include "framework/message_box.h"
#include "framework/radio_group.h"
#include "platform/audio/audio_output.h"
#include "platform/midi/output.h"
#include "platform/midi/sample_phrase.h"
#include "platform/shell/shell.h"
#include "settings/multimedia_checks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

// The panel's three pages and its buttons.

QLabel* TFormMultimedia::problemLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setVisible(false);
    return label;
}

QWidget* TFormMultimedia::buildAudioPage()
{
    auto* page = new QWidget;
    auto* playback = new QGroupBox(QStringLiteral("Playback"), page);
    auto* label = new QLabel(QStringLiteral("&Preferred device:"), playback);
    soundOutputBox = new QComboBox(playback);
    soundOutputBox->setAccessibleName(QStringLiteral("Sound output"));
    label->setBuddy(soundOutputBox);
    soundOutputProblem = problemLabel(playback);
    soundSettingsButton = new QPushButton(QStringLiteral("&Sound settings..."), playback);
    soundSettingsButton->setAutoDefault(false);
    // Where the desktop has no mixer of its own there is nothing to open.
    soundSettingsButton->setVisible(shell::soundSettingsInstalled());
    connect(soundSettingsButton, &QPushButton::clicked, this, ui::guarded([] { shell::openSoundSettings(); }));

    auto* box = new QVBoxLayout(playback);
    box->addWidget(label);
    box->addWidget(soundOutputBox);
    box->addWidget(soundOutputProblem);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(soundSettingsButton);
    box->addLayout(row);
    auto* note = new QLabel(QStringLiteral("A player that is running moves to a new device at its next track."), page);
    note->setWordWrap(true);
    runningPlayerBox = new QCheckBox(QStringLiteral("Play files in the running player"), page);
    runningPlayerBox->setToolTip(
        QStringLiteral("A file opened from the desktop while a player runs plays there, not in a second window."));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(playback);
    layout->addWidget(note);
    layout->addWidget(runningPlayerBox);
    layout->addStretch();
    return page;
}

namespace {

// A row under a radio button, indented to its text.
QHBoxLayout* indentedRow(std::initializer_list<std::pair<QWidget*, int>> widgets)
{
    auto* row = new QHBoxLayout;
    row->addSpacing(20);
    for (const auto& [widget, stretch] : widgets)
        row->addWidget(widget, stretch);
    return row;
}

} // namespace

void TFormMultimedia::buildMidiControls(QGroupBox* group)
{
    synthButton = new QRadioButton(QStringLiteral("&Built-in synthesizer with the soundfont:"), group);
    soundfontBox = new QComboBox(group);
    soundfontBox->setAccessibleName(QStringLiteral("Soundfont"));
    browseButton = new QPushButton(QStringLiteral("B&rowse..."), group);
    browseButton->setAutoDefault(false);
    connect(browseButton, &QPushButton::clicked, this, ui::guarded([this] { browse(); }));

    externalButton = new QRadioButton(QStringLiteral("&External synthesizer on the port:"), group);
    ui::makeOneTabStop({synthButton, externalButton});
    portBox = new QComboBox(group);
    portBox->setAccessibleName(QStringLiteral("MIDI port"));
    refreshButton = new QPushButton(QStringLiteral("Re&fresh"), group);
    refreshButton->setAutoDefault(false);
    connect(refreshButton, &QPushButton::clicked, this, ui::guarded([this] {
        const multimedia::Choices shown = shownChoices();
        fillPorts();
        showPort(shown);
        enableMidiControls();
    }));
    externalProblem = problemLabel(group);
    settleBox = new QSpinBox(group);
    settleBox->setRange(0, int(multimedia::kMaxResetSettleMs));
    settleBox->setSuffix(QStringLiteral(" ms"));
    settleBox->setAccessibleName(QStringLiteral("Pause after a reset"));
    connect(synthButton, &QRadioButton::toggled, this, ui::guarded([this] { enableMidiControls(); }));
}

QWidget* TFormMultimedia::buildMidiPage()
{
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("MIDI output"), page);
    buildMidiControls(group);
    auto* settleLabel = new QLabel(QStringLiteral("&Pause after a GM or GS reset:"), group);
    settleLabel->setBuddy(settleBox);

    auto* box = new QVBoxLayout(group);
    box->addWidget(synthButton);
    box->addLayout(indentedRow({{soundfontBox, 1}, {browseButton, 0}}));
    box->addWidget(externalButton);
    box->addLayout(indentedRow({{portBox, 1}, {refreshButton, 0}}));
    box->addLayout(indentedRow({{externalProblem, 1}}));
    QHBoxLayout* settleRow = indentedRow({{settleLabel, 0}, {settleBox, 0}});
    settleRow->addStretch();
    box->addLayout(settleRow);

    testButton = new QPushButton(QStringLiteral("&Test"), page);
    testButton->setAutoDefault(false);
    testButton->setToolTip(QStringLiteral("Plays a short phrase through the output chosen above"));
    connect(testButton, &QPushButton::clicked, this, ui::guarded([this] { test(); }));
    wordsBox = new QCheckBox(QStringLiteral("Show the &words of karaoke songs"), page);
    wordsBox->setToolTip(QStringLiteral("A window beside the player shows the words as they are sung"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    auto* testRow = new QHBoxLayout;
    testRow->addStretch();
    testRow->addWidget(testButton);
    layout->addLayout(testRow);
    layout->addWidget(wordsBox);
    layout->addStretch();
    return page;
}

QWidget* TFormMultimedia::buildVideoPage()
{
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("Show videos"), page);
    originalSizeButton = new QRadioButton(QStringLiteral("In a window of &original size"), group);
    doubleSizeButton = new QRadioButton(QStringLiteral("In a window of &double size"), group);
    fullScreenButton = new QRadioButton(QStringLiteral("&Full screen (Escape or a double-click ends it)"), group);
    auto* box = new QVBoxLayout(group);
    box->addWidget(originalSizeButton);
    box->addWidget(doubleSizeButton);
    box->addWidget(fullScreenButton);
    ui::makeOneTabStop({originalSizeButton, doubleSizeButton, fullScreenButton});
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addStretch();
    return page;
}

void TFormMultimedia::buildButtons()
{
    okButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, ui::guarded([this] {
        if (apply())
            accept();
    }));
    const QIcon cancelIcon = style()->standardIcon(QStyle::SP_DialogCancelButton);
    cancelButton = new QPushButton(cancelIcon, QStringLiteral("Cancel"), this);
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}
