#include "settings/association_dialog.h"

#include "core/media_kinds.h"
#include "framework/application.h"
#include "framework/guard.h"
#include "platform/desktop/association.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

TFormAssoc* FormAssoc = nullptr;

namespace {

const char* const kCommandKey = "\\shell\\open\\command";

QCheckBox* checkBox(QWidget* parent, const char* caption, int left, int top, int width)
{
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setGeometry(left, top, width, 17);
    box->setChecked(true);
    return box;
}

QLabel* statusLabel(QWidget* parent, const char* caption, int top)
{
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->move(8, top);
    label->adjustSize();
    return label;
}

QPushButton* button(QWidget* parent, const char* caption, QStyle::StandardPixmap glyph, QRect geometry)
{
    auto* b = new QPushButton(parent->style()->standardIcon(glyph), QString::fromUtf8(caption), parent);
    b->setGeometry(geometry);
    return b;
}

} // namespace

namespace {

// The types of our own, for extensions the desktop may not know.
std::vector<desktop::OwnType> ownTypes()
{
    std::vector<desktop::OwnType> types;
    for (const media_kinds::Kind& kind : media_kinds::all()) {
        if (*kind.mimeParent)
            types.push_back({kind.extension, kind.mimeType, kind.mimeParent, kind.mimeComment});
    }
    return types;
}

} // namespace

TFormAssoc::TFormAssoc(QWidget* owner) : QDialog(owner), ModuleFileName([] { return desktop::moduleFileName(); })
{
    setObjectName("FormAssoc");
    setWindowTitle("Get Associations:");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(481, 243);
    buildChoices();
    buildStatus();
    buildButtons();
    RegFile1 = new TRegFile(this);
    RegFile1->setObjectName("RegFile1");
    RegFile1->SetRootKey(hkClassesRoot);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    if (ui::Application* app = ui::application()) {
        connect(app, &ui::Application::formActivated, this, ui::guarded([this](QWidget* form) {
            if (form == this)
                FormActivate(this);
        }));
    }
}

void TFormAssoc::buildChoices()
{
    Label1 = new QLabel("If you double-click files in Explorer, Quorvana will auto-open for these files:", this);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setGeometry(16, 8, 145, 49);

    GroupBox1 = new QGroupBox("Associate Quorvana with:", this);
    GroupBox1->setGeometry(16, 56, 153, 129);
    CheckBoxMID = checkBox(GroupBox1, ".MID; .KAR - (MIDI)", 16, 24, 129);
    CheckBoxRMI = checkBox(GroupBox1, ".RMI - (MIDI - Files)", 16, 48, 129);
    CheckBoxWAV = checkBox(GroupBox1, ".WAV; . WA~ - (Wave)", 16, 72, 129);
    CheckBoxAVI = checkBox(GroupBox1, ".AVI - (Video - Files)", 16, 96, 121);
}

void TFormAssoc::buildStatus()
{
    GroupBox2 = new QGroupBox("Current Association Status:", this);
    GroupBox2->setGeometry(168, 56, 305, 129);
    LabelMID = statusLabel(GroupBox2, "LabelMID", 24);
    LabelRMI = statusLabel(GroupBox2, "LabelRMI", 48);
    LabelWAV = statusLabel(GroupBox2, "LabelWAV", 72);
    LabelAVI = statusLabel(GroupBox2, "LabelAVI", 96);
}

void TFormAssoc::buildButtons()
{
    BitBtn1 = button(this, "OK", QStyle::SP_DialogOkButton, QRect(312, 200, 89, 25));
    BitBtn1->setDefault(true);
    BitBtn2 = button(this, "Cancel", QStyle::SP_DialogCancelButton, QRect(408, 200, 65, 25));

    setTabOrder(CheckBoxMID, CheckBoxRMI);
    setTabOrder(CheckBoxRMI, CheckBoxWAV);
    setTabOrder(CheckBoxWAV, CheckBoxAVI);
    setTabOrder(CheckBoxAVI, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        // The dialog closes after OK whether or not every write went through;
        // a failure is shown first, while the dialog is still up.
        ui::guard([this] { BitBtn1Click(BitBtn1); });
        done(QDialog::Accepted);
    });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormAssoc::changeEvent(QEvent* event)
{
    // Without the program's application object nobody reports activations.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !ui::application())
        ui::guard([this] { FormActivate(this); });
    QDialog::changeEvent(event);
}

void TFormAssoc::showStatus(const std::string& extension, QLabel* label)
{
    // A key with no value at all has nothing to show; it must not stop the
    // dialog from opening where nothing is registered yet.
    auto caption = [](const ui::Variant& value) {
        return QString::fromLocal8Bit(value.IsNull() ? std::string() : value.ToString());
    };
    RegFile1->SetKey(extension);
    label->setText(caption(RegFile1->ReadValue("")));
    label->adjustSize();
    if (label->text().isEmpty()) {
        RegFile1->SetKey(extension + kCommandKey);
        label->setText(caption(RegFile1->ReadValue("")));
        label->adjustSize();
    }
}

void TFormAssoc::FormActivate(QObject*)
{
    RegFile1->SetRootKey(hkClassesRoot);
    showStatus(".mid", LabelMID);
    showStatus(".rmi", LabelRMI);
    showStatus(".wav", LabelWAV);
    showStatus(".avi", LabelAVI);
}

void TFormAssoc::associate(const std::string& extension)
{
    RegFile1->SetRootKey(hkClassesRoot);
    RegFile1->SetKey(extension);
    RegFile1->WriteValue("", ui::Variant(std::string()));
    RegFile1->SetKey(extension + kCommandKey);
    const std::string command = ModuleFileName() + " %1";
    // The desktop's file managers read no registry: the player becomes the
    // default application of the extension's MIME type there first, and an
    // association the desktop would not take is not stored either.
    std::string error;
    if (const auto program = desktop::playerIn(command);
        program && !desktop::associate(extension, *program, ownTypes(), &error))
        throw ERegFileError("The desktop association of " + extension + " failed: " + error);
    RegFile1->WriteValue("", ui::Variant(command));
}

void TFormAssoc::BitBtn1Click(QObject*)
{
    using media_kinds::AssociationBox;
    const std::pair<QCheckBox*, AssociationBox> boxes[] = {
        {CheckBoxMID, AssociationBox::Midi},
        {CheckBoxRMI, AssociationBox::Rmid},
        {CheckBoxWAV, AssociationBox::Wave},
        {CheckBoxAVI, AssociationBox::Video},
    };
    for (const auto& [check, box] : boxes) {
        if (!check->isChecked())
            continue;
        for (const media_kinds::Kind& kind : media_kinds::all())
            if (kind.box == box)
                associate(kind.extension);
    }
}

TFormAssoc* CreateFormAssoc()
{
    // Nothing reads an earlier instance, so it goes when the next one comes.
    delete FormAssoc;
    FormAssoc = new TFormAssoc();
    static bool releaseAtExit = false;
    if (!releaseAtExit && QCoreApplication::instance()) {
        releaseAtExit = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] {
            delete FormAssoc;
            FormAssoc = nullptr;
        });
    }
    return FormAssoc;
}

void RunFormAssoc()
{
    CreateFormAssoc()->exec();
}
