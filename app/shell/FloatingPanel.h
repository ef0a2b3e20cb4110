#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace kivo {

class AutostartCheckBox;
class FloatingButton;
class SettingsPopover;
class StatusLabel;
class TextAreaBackground;
class VoicePanel;

// The floating panel and its settings popover: every control, its place, its labels and
// tooltips in both interface languages. The controller owns one and wires the actions; the
// panel itself handles only what is pure presentation (editor expansion, the popover).
class FloatingPanel : public QObject {
public:
    // What the controls show depends on this much of the controller's state.
    struct Activity {
        bool converting = false;
        bool speechBusy = false;
        bool recording = false;
    };

    explicit FloatingPanel(QObject* parent = nullptr);
    ~FloatingPanel() override;

    bool chinese() const;
    QString tr(const char* chineseText, const char* englishText) const;

    // Labels, titles, pop-up items, tooltips and accessibility names in the current language.
    void localizeLabels(const QString& version);
    void localizeFloatingInterface();
    void updateFloatingControls(const Activity& activity);
    void updateButtonHelp();
    void updateSettingsLayout();

    void toggleSettings();
    void toggleEditor();
    void showEditor();
    void setEditorExpanded(bool expanded);
    bool editorExpanded() const { return editorExpanded_; }

    // Interface fields; all are children of `window` (or of the popover) and live with it.
    std::unique_ptr<VoicePanel> window;
    QWidget* editor = nullptr;
    QPlainTextEdit* before = nullptr; // also the Original scroll view
    QPlainTextEdit* after = nullptr;  // also the Result scroll view
    TextAreaBackground* sourceBackground = nullptr;
    TextAreaBackground* resultBackground = nullptr;
    FloatingButton* editorToggle = nullptr;
    FloatingButton* settingsButton = nullptr;
    FloatingButton* closeButton = nullptr;
    FloatingButton* record = nullptr;
    FloatingButton* cancel = nullptr;
    FloatingButton* copySource = nullptr;
    FloatingButton* copyResult = nullptr;
    FloatingButton* details = nullptr;
    FloatingButton* restoreTranscript = nullptr;
    QPushButton* run = nullptr;
    QLabel* productName = nullptr;
    QLabel* headline = nullptr;
    StatusLabel* status = nullptr;
    QLabel* scope = nullptr;
    QLabel* notice = nullptr;
    QLabel* sourceTitle = nullptr;
    QLabel* resultTitle = nullptr;
    QLabel* inputLanguageTitle = nullptr;
    QLabel* targetLanguageTitle = nullptr;
    QLabel* speechInfo = nullptr;
    QComboBox* mode = nullptr;
    QComboBox* inputLanguage = nullptr;
    QComboBox* language = nullptr;
    QComboBox* speechEngine = nullptr;
    QWidget* vocabularyRow = nullptr;
    QLineEdit* vocabulary = nullptr;
    QCheckBox* autoProcess = nullptr;
    QCheckBox* autoInsert = nullptr;
    QCheckBox* hongKongCharacters = nullptr;
    AutostartCheckBox* startAtLogin = nullptr;
    SettingsPopover* settingsPopover = nullptr;
    QLabel* shortcutTitle = nullptr;
    QComboBox* shortcutChoice = nullptr;
    QLabel* shortcutInfo = nullptr;
    QPushButton* shortcutPermission = nullptr;
    QLabel* versionLabel = nullptr;
    QPushButton* checkUpdatesButton = nullptr;
    QPushButton* restartButton = nullptr;
    QLabel* restartNotice = nullptr;

    // Called after every expansion change (the controller saves it with the preferences).
    std::function<void(bool expanded)> onEditorExpandedChanged;

private:
    void buildFloatingInterface();
    void buildSettings();
    void updateEditorToggle();

    bool editorExpanded_ = false;
    Activity activity_;
};

} // namespace kivo
