#include "settings/setup_dialog.h"

#include "framework/errors.h"
#include "framework/file_names.h"
#include "framework/guard.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStyle>

#include <utility>

QPointer<TFormSetup> FormSetup;

namespace {

const QString programsFilter = QStringLiteral("Programs");

// Shows folders and, while the "Programs" entry is chosen, only the files
// that can be run.
class ProgramFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setProgramsOnly(bool on)
    {
        programsOnly_ = on;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!programsOnly_ || !files)
            return true;
        const QModelIndex index = files->index(row, 0, parent);
        const QFileInfo info = files->fileInfo(index);
        return info.isDir() || info.isExecutable() || info.suffix().compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0;
    }

private:
    bool programsOnly_ = false;
};

QFont formFont(int pointSize, bool bold)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(pointSize);
    f.setBold(bold);
    return f;
}

} // namespace

QStringList qtNameFilters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            // "*.*" means every file on Windows, names without a dot included.
            if (pattern.trimmed() == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        result << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return result;
}

std::optional<QString> runOpenFileDialog(QWidget* owner, const TOpenDialog& settings)
{
    QFileDialog dialog(owner, settings.Title);
    // Our own dialog: a desktop one cannot be told which files are programs.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);

    QStringList filters = qtNameFilters(settings.Filter);
    // The names pass every file; ProgramFilter then keeps the runnable ones.
    for (QString& entry : filters)
        if (entry.startsWith(programsFilter + QLatin1String(" (")))
            entry = programsFilter + QStringLiteral(" (*)");
    dialog.setNameFilters(filters);
    auto* proxy = new ProgramFilter(&dialog);
    dialog.setProxyModel(proxy);
    const auto choose = [proxy](const QString& entry) { proxy->setProgramsOnly(entry.startsWith(programsFilter + QLatin1String(" ("))); };
    QObject::connect(&dialog, &QFileDialog::filterSelected, proxy, choose);
    if (!filters.isEmpty()) {
        dialog.selectNameFilter(filters.first());
        choose(filters.first());
    }
    if (!settings.FileName.isEmpty())
        dialog.selectFile(settings.FileName);

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

bool TOpenDialog::Execute(QWidget* owner)
{
    const std::optional<QString> chosen = chooser ? chooser(owner, *this) : runOpenFileDialog(owner, *this);
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}

TFormSetup::TFormSetup(QWidget* owner, editor_settings::Location settings, TOpenDialog::Chooser chooser)
    : QDialog(owner), settings_(std::move(settings))
{
    setObjectName(QStringLiteral("FormSetup"));
    setWindowTitle(QStringLiteral("Setup"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFont(formFont(8, false));
    setFixedSize(465, 195);
    OpenDialog1.chooser = std::move(chooser);

    createBevelAndLabels();
    createButtons();
    createEditRows();

    // Tab order: OK, Cancel, the three fields, the three browse buttons.
    QWidget::setTabOrder(BitBtn1, BitBtn2);
    QWidget::setTabOrder(BitBtn2, Edit1);
    QWidget::setTabOrder(Edit1, Edit2);
    QWidget::setTabOrder(Edit2, Edit3);
    QWidget::setTabOrder(Edit3, Button1);
    QWidget::setTabOrder(Button1, Button2);
    QWidget::setTabOrder(Button2, Button3);
    BitBtn1->setFocus();

    FormCreate(this);
}

void TFormSetup::createBevelAndLabels()
{
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 449, 121);

    const auto label = [this](const char* name, const char* caption, int left, int top) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(formFont(10, true));
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    Label1 = label("Label1", "MIDI - Editor:", 24, 24);
    Label2 = label("Label2", "Wave - Editor:", 16, 56);
    Label3 = label("Label3", "Avi - Editor:", 32, 88);
}

void TFormSetup::createButtons()
{
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(152, 144, 73, 33);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded([this] { okClicked(); }));

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(232, 144, 73, 33);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormSetup::createEditRows()
{
    // The default wave editor is a Windows program: say what such a name
    // does here, without a caption the fixed layout has no room for.
    const QString hint
        = QStringLiteral("The editor's program file, or its name where PATH finds it. A Windows program "
                         "name (*.exe) that this system lacks opens the file with an application of the "
                         "desktop that edits its type (a player does not count); sndrec32.exe prefers an "
                         "installed wave editor.");
    const auto edit = [this, &hint](const char* name, int top, const char* editor) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setAccessibleName(QString::fromLatin1(editor));
        e->setToolTip(hint);
        e->setAccessibleDescription(hint);
        e->setFont(formFont(8, true));
        e->setGeometry(120, top, 289, 21);
        return e;
    };
    Edit1 = edit("Edit1", 24, "MIDI editor");
    Edit2 = edit("Edit2", 56, "Wave editor");
    Edit2->setText(QStringLiteral("sndrec32.exe"));
    Edit3 = edit("Edit3", 88, "Video editor");

    const auto browseButton
        = [this](const char* name, int top, void (TFormSetup::*handler)(QObject*), const char* accessible) {
              auto* b = new QPushButton(QStringLiteral(">>"), this);
              b->setObjectName(QString::fromLatin1(name));
              b->setAccessibleName(QString::fromLatin1(accessible));
              b->setFont(formFont(8, true));
              b->setGeometry(416, top, 33, 25);
              b->setAutoDefault(false);
              connect(b, &QPushButton::clicked, this, ui::guarded([this, b, handler] { (this->*handler)(b); }));
              return b;
          };
    Button1 = browseButton("Button1", 24, &TFormSetup::Button1Click, "Choose the MIDI editor");
    Button2 = browseButton("Button2", 56, &TFormSetup::Button2Click, "Choose the wave editor");
    Button3 = browseButton("Button3", 88, &TFormSetup::Button3Click, "Choose the video editor");
}

// Paths are bytes: a name that is not UTF-8 (or a value cut inside a
// character) must come back unchanged when the dialog saves it.
void TFormSetup::FormCreate(QObject*)
{
    const editor_settings::Entry* entries[]
        = {&editor_settings::MidiEdit, &editor_settings::WavEdit, &editor_settings::AviEdit};
    QLineEdit* edits[] = {Edit1, Edit2, Edit3};
    for (int row = 0; row < 3; ++row) {
        loaded_[row] = editor_settings::readStored(settings_, *entries[row]);
        edits[row]->setText(ui::decodeFileName(QByteArray::fromStdString(loaded_[row].value)));
    }
}

void TFormSetup::browse(QLineEdit* edit, const QString& title)
{
    OpenDialog1.Title = title;
    OpenDialog1.FileName = edit->text();
    if (OpenDialog1.Execute(this))
        edit->setText(OpenDialog1.FileName);
}

void TFormSetup::Button1Click(QObject*) { browse(Edit1, QStringLiteral("Search for a MIDI - Editor (Sequencer):")); }

void TFormSetup::Button2Click(QObject*) { browse(Edit2, QStringLiteral("Search for a Wave - Editor:")); }

void TFormSetup::Button3Click(QObject*) { browse(Edit3, QStringLiteral("Search for an Avi - Editor:")); }

void TFormSetup::BitBtn1Click(QObject*)
{
    const editor_settings::Entry* entries[]
        = {&editor_settings::MidiEdit, &editor_settings::WavEdit, &editor_settings::AviEdit};
    QLineEdit* edits[] = {Edit1, Edit2, Edit3};
    for (int row = 0; row < 3; ++row) {
        const std::string value = ui::encodeFileName(edits[row]->text()).toStdString();
        // A field left as it was shown keeps what another program may have
        // stored since; a key not there yet, or cut for showing, is written.
        const editor_settings::Stored& shown = loaded_[row];
        if (shown.present && !shown.cut && value == shown.value)
            continue;
        if (!editor_settings::write(settings_, *entries[row], value))
            throw ui::Exception(ui::formatMessage("Kann nicht nach %s schreiben", settings_.file));
    }
}

void TFormSetup::okClicked()
{
    // OK closes the dialog whether or not saving worked; the error box reports
    // a failure after the dialog has gone.
    try {
        BitBtn1Click(BitBtn1);
    } catch (...) {
        done(QDialog::Accepted);
        throw;
    }
    done(QDialog::Accepted);
}

int ShowSetupDialog()
{
    // Nothing reads an earlier instance, so a hidden one is released here
    // rather than piling up until the program ends.
    if (FormSetup && !FormSetup->isVisible())
        FormSetup->deleteLater();
    auto* form = new TFormSetup();
    FormSetup = form;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, form, &QObject::deleteLater);
    return form->exec();
}
