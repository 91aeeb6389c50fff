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

namespace {

const QString panelTitle = QStringLiteral("Multimedia Properties");

QString text(const std::string& s) { return QString::fromStdString(s); }
std::string bytes(const QString& s) { return s.toStdString(); }

// A stored choice that the system does not offer now stays in the list,
// marked, so that it is neither lost nor mistaken for one that is there.
QString missing(const QString& title) { return title + QStringLiteral(" (not connected)"); }

QString soundfontTitle(const std::string& name, const std::string& path)
{
    return QStringLiteral("%1 (%2)").arg(text(name), QFileInfo(text(path)).fileName());
}

void showProblem(QLabel* label, const std::string& problem)
{
    label->setText(text(problem));
    label->setVisible(!problem.empty());
}

// Row data of the port list.
enum PortRole { ClientRole = Qt::UserRole, PortNameRole, AddressRole };

} // namespace

TFormMultimedia::TFormMultimedia(QWidget* owner, std::vector<std::string> soundfontFolders)
    : QDialog(owner), soundfontFolders_(std::move(soundfontFolders)), stored_(multimedia::loadStored())
{
    setObjectName(QStringLiteral("FormMultimedia"));
    setWindowTitle(panelTitle);
    chooseSoundfont = [](QWidget* parent) -> std::optional<QString> {
        const QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("Choose a soundfont"), QString(),
                                                          QStringLiteral("Soundfonts (*.sf2 *.sf3);;All Files (*)"));
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    };

    tabs = new QTabWidget(this);
    tabs->addTab(buildAudioPage(), QStringLiteral("&Audio"));
    tabs->addTab(buildMidiPage(), QStringLiteral("&MIDI"));
    tabs->addTab(buildVideoPage(), QStringLiteral("&Video"));

    std::string variables;
    for (const std::string& name : multimedia::variablesInForce())
        variables += (variables.empty() ? "" : ", ") + name;
    variablesNote = problemLabel(this);
    if (!variables.empty())
        showProblem(variablesNote, "Set in the environment, and winning over the choices here: " + variables + ".");

    buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(variablesNote);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    fillSoundOutputs();
    fillSoundfonts();
    fillPorts();
    showChoices(stored_);
}

TFormMultimedia::~TFormMultimedia()
{
    phrase_.reset();
}

void TFormMultimedia::fillSoundOutputs()
{
    soundOutputBox->clear();
    soundOutputBox->addItem(QStringLiteral("Default"), QString());
    std::string problem;
    for (const std::string& name : audio::outputDevices(problem))
        soundOutputBox->addItem(text(name), text(name));
    showProblem(soundOutputProblem, problem);
}

void TFormMultimedia::fillSoundfonts()
{
    soundfontBox->clear();
    const std::string system = midi::systemSoundfont();
    // The default is shown by the file behind Debian's alternatives link, and
    // only as the default: it is the same soundfont.
    const std::string file = bytes(QFileInfo(text(system)).canonicalFilePath());
    const QString title = system.empty()
        ? QStringLiteral("Default (none installed)")
        : QStringLiteral("Default: ") + soundfontTitle(midi::soundfontName(system), file);
    soundfontBox->addItem(title, QString());
    soundfontBox->setItemData(0, text(system), Qt::ToolTipRole);
    for (const midi::SoundfontFile& font : midi::findSoundfonts(soundfontFolders_, system)) {
        soundfontBox->addItem(soundfontTitle(font.name, font.path), text(font.path));
        soundfontBox->setItemData(soundfontBox->count() - 1, text(font.path), Qt::ToolTipRole);
    }
}

void TFormMultimedia::fillPorts()
{
    portBox->clear();
    ports_.clear();
    multimedia_checks::PortScan scan = multimedia_checks::scanPorts();
    sequencerAvailable_ = scan.sequencerAvailable;
    ports_ = std::move(scan.ports);
    const std::string& reason = scan.reason;
    for (const midi::Port& port : ports_) {
        portBox->addItem(QStringLiteral("%1 (%2, %3)").arg(text(midi::portTitle(port.clientName, port.portName)),
                                                          text(port.clientName), text(port.address())));
        const int row = portBox->count() - 1;
        portBox->setItemData(row, text(port.clientName), ClientRole);
        portBox->setItemData(row, text(port.portName), PortNameRole);
        portBox->setItemData(row, text(port.address()), AddressRole);
    }
    showProblem(externalProblem, reason);
}

void TFormMultimedia::showChoices(const multimedia::Choices& c)
{
    showSoundOutput(c.soundOutput);
    showSoundfont(c.soundfont);
    showPort(c);
    settleBox->setValue(int(c.resetSettleMs));
    // A stored external synthesizer stays shown where the sequencer is gone,
    // so that OK does not quietly change it.
    (c.midiOutput == multimedia::MidiOutput::External ? externalButton : synthButton)->setChecked(true);
    runningPlayerBox->setChecked(c.playInRunningPlayer);
    wordsBox->setChecked(c.showWords);
    switch (c.videoSize) {
    case multimedia::VideoSize::Original: originalSizeButton->setChecked(true); break;
    case multimedia::VideoSize::Double: doubleSizeButton->setChecked(true); break;
    case multimedia::VideoSize::FullScreen: fullScreenButton->setChecked(true); break;
    }
    enableMidiControls();
}

void TFormMultimedia::showSoundOutput(const std::string& device)
{
    int row = soundOutputBox->findData(text(device));
    if (row < 0) {
        soundOutputBox->addItem(missing(text(device)), text(device));
        row = soundOutputBox->count() - 1;
    }
    soundOutputBox->setCurrentIndex(row);
}

void TFormMultimedia::showSoundfont(const std::string& path)
{
    int row = soundfontBox->findData(text(path));
    if (row < 0) {
        const std::string name = midi::soundfontName(path);
        soundfontBox->addItem(name.empty() ? missing(text(path)) : soundfontTitle(name, path), text(path));
        row = soundfontBox->count() - 1;
        soundfontBox->setItemData(row, text(path), Qt::ToolTipRole);
    }
    soundfontBox->setCurrentIndex(row);
}

void TFormMultimedia::showPort(const multimedia::Choices& c)
{
    if (c.midiClient.empty() && c.midiPort.empty() && c.midiAddress.empty())
        return;
    if (const auto port = midi::findPort(ports_, c.midiClient, c.midiPort, c.midiAddress)) {
        const auto it = std::find(ports_.begin(), ports_.end(), *port);
        portBox->setCurrentIndex(int(it - ports_.begin()));
        return;
    }
    portBox->insertItem(0, missing(text(midi::portTitle(c.midiClient, c.midiPort))));
    portBox->setItemData(0, text(c.midiClient), ClientRole);
    portBox->setItemData(0, text(c.midiPort), PortNameRole);
    portBox->setItemData(0, text(c.midiAddress), AddressRole);
    portBox->setCurrentIndex(0);
}

void TFormMultimedia::enableMidiControls()
{
    externalButton->setEnabled(sequencerAvailable_);
    const bool external = externalButton->isChecked();
    soundfontBox->setEnabled(!external);
    browseButton->setEnabled(!external);
    portBox->setEnabled(external);
    refreshButton->setEnabled(true);
    settleBox->setEnabled(external);
}

multimedia::Choices TFormMultimedia::shownChoices() const
{
    multimedia::Choices c;
    c.soundOutput = bytes(soundOutputBox->currentData().toString());
    c.midiOutput = externalButton->isChecked() ? multimedia::MidiOutput::External : multimedia::MidiOutput::Synth;
    c.soundfont = bytes(soundfontBox->currentData().toString());
    if (portBox->currentIndex() >= 0) {
        c.midiClient = bytes(portBox->currentData(ClientRole).toString());
        c.midiPort = bytes(portBox->currentData(PortNameRole).toString());
        c.midiAddress = bytes(portBox->currentData(AddressRole).toString());
    }
    c.resetSettleMs = unsigned(settleBox->value());
    c.videoSize = fullScreenButton->isChecked()  ? multimedia::VideoSize::FullScreen
                  : doubleSizeButton->isChecked() ? multimedia::VideoSize::Double
                                                  : multimedia::VideoSize::Original;
    c.playInRunningPlayer = runningPlayerBox->isChecked();
    c.showWords = wordsBox->isChecked();
    return c;
}

void TFormMultimedia::browse()
{
    const std::optional<QString> chosen = chooseSoundfont(this);
    if (!chosen)
        return;
    if (midi::soundfontName(bytes(*chosen)).empty()) {
        report(bytes(*chosen) + " is no soundfont.");
        return;
    }
    showSoundfont(bytes(*chosen));
}

bool TFormMultimedia::checkSoundOutput(const multimedia::Choices& shown)
{
    const auto problem = multimedia_checks::soundOutputProblem(shown, stored_);
    if (!problem)
        return true;
    report(*problem);
    tabs->setCurrentIndex(0);
    showSoundOutput(stored_.soundOutput);
    return false;
}

bool TFormMultimedia::checkMidi(const multimedia::Choices& shown)
{
    if (shown.midiOutput == multimedia::MidiOutput::Synth) {
        setCursor(Qt::WaitCursor);
        const auto problem = multimedia_checks::soundfontProblem(shown, stored_);
        unsetCursor();
        if (!problem)
            return true;
        report(*problem);
        tabs->setCurrentIndex(1);
        showSoundfont(stored_.soundfont);
        return false;
    }
    if (multimedia_checks::samePort(shown, stored_))
        return true;
    fillPorts();
    const auto problem = multimedia_checks::portProblem(shown, ports_);
    if (!problem)
        return true;
    report(*problem);
    tabs->setCurrentIndex(1);
    showPort(stored_);
    (stored_.midiOutput == multimedia::MidiOutput::External ? externalButton : synthButton)->setChecked(true);
    enableMidiControls();
    return false;
}

bool TFormMultimedia::apply()
{
    const multimedia::Choices shown = shownChoices();
    if (!checkSoundOutput(shown) || !checkMidi(shown))
        return false;
    std::string error;
    if (!multimedia::save(shown, error, &stored_)) {
        report(error);
        return false;
    }
    stored_ = shown;
    return true;
}

void TFormMultimedia::test()
{
    phrase_.reset();
    // The output is opened as a song's would be, with what the panel shows
    // and the environment's overrides, which the note says win over it.
    multimedia::Choices choices = shownChoices();
    choices.overrides = multimedia::overridesInForce();
    std::string error;
    setCursor(Qt::WaitCursor);
    std::shared_ptr<midi::Output> output = midi::sharedOutput(choices, error);
    unsetCursor();
    if (!output) {
        report(error);
        return;
    }
    phrase_ = midi::playSamplePhrase(std::move(output));
}

void TFormMultimedia::report(const std::string& message)
{
    ui::messageBox(this, text(message), panelTitle, ui::MB_OK | ui::MB_ICONERROR);
}

int runMultimediaPanel()
{
    TFormMultimedia panel;
    panel.exec();
    return 0;
}
