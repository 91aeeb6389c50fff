#pragma once
// "My Voice": the singer's lowest and highest note, by name, from C2 to C6.
#include <QDialog>

class QComboBox;

namespace singer {

// The notes a voice may be given, as note numbers (C4: middle C, 60).
inline constexpr int kLowestVoiceNote = 36; // C2
inline constexpr int kHighestVoiceNote = 84; // C6

class VoiceDialog final : public QDialog {
public:
    // Shows LOWEST and HIGHEST at first (notes; -1: a middle voice's).
    VoiceDialog(QWidget* parent, int lowest, int highest);

    // As chosen, the lower first.
    int lowest() const;
    int highest() const;

private:
    QComboBox* lowest_;
    QComboBox* highest_;
};

} // namespace singer
