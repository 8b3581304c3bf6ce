#pragma once

#include "app/CaptureSettings.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The settings dialog's page for capture on the PC: the folders and formats
// of recordings and snapshots, whether snapshots carry the subject boxes, and
// where the live output goes (an SRT passphrase and an RTMP stream key in a
// field of their own that hides what is typed). It shows the saved settings; apply() saves what
// was changed (a recording or an output that runs keeps its settings until it
// is started again). Also whether the webcam is on from the program's start,
// and where it goes (PipeWire or a v4l2loopback device).
class CaptureSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit CaptureSettingsPage(QWidget* parent = nullptr);

    // The settings as the controls show them.
    CaptureSettings chosen() const;
    // Whether they differ from the saved ones.
    bool changed() const;
    // Saves them; false (nothing saved, the reason shown on the page) when
    // the live output's address does not suit its kind.
    bool apply();

signals:
    // A control was changed by the user.
    void edited();

private:
    void showSettings(const CaptureSettings& settings);
    void kindChosen(int index);
    // The address (and passphrase or stream key) of the kind shown.
    void showAddress();
    void chooseFolder(QLineEdit* edit);
    void updateHint();

    CaptureSettings m_saved;
    // The addresses of the kinds not shown, as edited.
    CaptureSettings m_addresses;
    int m_shownKind = 0;
    bool m_filling = false;
    QLineEdit* m_recordFolder = nullptr;
    QRadioButton* m_mp4 = nullptr;
    QRadioButton* m_mkv = nullptr;
    QLineEdit* m_snapshotFolder = nullptr;
    QRadioButton* m_png = nullptr;
    QRadioButton* m_jpg = nullptr;
    QCheckBox* m_boxes = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_address = nullptr;
    QLabel* m_secretTitle = nullptr;
    QLineEdit* m_secret = nullptr;
    QLabel* m_hint = nullptr;
    QCheckBox* m_webcamAtStart = nullptr;
    QComboBox* m_webcamOutput = nullptr;
};
