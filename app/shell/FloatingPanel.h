#pragma once

#include "app/shell/PanelState.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class QAction;
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
class ModelsLink;
class SettingsPopover;
class StatusLabel;
class TextAreaBackground;
class VoicePanel;

// The floating panel and its settings popover: every control, its place, its labels and
// tooltips in both interface languages. The flows read and write its state and hear its
// signals; the panel handles alone what is pure presentation (editor expansion, the popover,
// copying its own texts).
class FloatingPanel : public QObject {
    Q_OBJECT
public:
    FloatingPanel();
    ~FloatingPanel() override;

    const PanelState& state() const { return state_; }
    bool chinese() const { return state_.settings.chinese; }

    // Sets the controls; each change is reported as if the user had made it.
    void setSettings(const PanelSettings& settings);
    void setEditorExpanded(bool expanded);
    // Programmatic texts: not reported as edits.
    void setSource(const QString& text, TextRange selection = {});
    void setResult(const QString& text, bool copyable);
    // With `modelsDetails` the status offers the Models window; the details go to its tooltip.
    void setStatus(const QString& text, const std::optional<QString>& modelsDetails = std::nullopt);
    // `toolTipLines`, when given, follow the whole status in its tooltip.
    void appendStatus(const QString& text, const std::optional<QStringList>& toolTipLines = std::nullopt);
    void setScope(const QString& text);
    void setActivity(const PanelActivity& activity);
    // engineTitles name the two engine choices after the installed model; empty keeps the titles.
    void setSpeechInfo(const QString& text, bool hintsShown, const std::array<QString, 2>& engineTitles = {});
    void setShortcutInfo(const QString& text, bool permissionNeeded);

    // Labels, titles, pop-up items, tooltips and accessibility names in the current language.
    void localize(const QString& version);
    void showEditor();
    void hideSettings();
    // Shown, raised and given the keyboard.
    void present();
    VoicePanel& window() const { return *window_; }
    // Mirrored by the settings' update button.
    QAction& checkUpdatesAction() const { return *checkUpdates_; }

signals:
    void recordClicked();
    void cancelClicked();
    void convertClicked();
    void restoreTranscriptClicked();
    void detailsClicked();
    void modelsClicked();
    void restartClicked();
    void shortcutPermissionClicked();
    void closeRequested();
    void menuRequested(const QPoint& globalPosition);
    // The user typed in the source or moved its selection.
    void sourceEdited();
    void selectionChanged();
    void settingChanged(PanelSetting setting);

private:
    void buildFloatingInterface();
    void buildSettings();
    void connectControls();
    void localizeLabels(const QString& version);
    void localizeFloatingInterface();
    void updateButtonHelp();
    void updateSettingsLayout();
    void updateEditorToggle();
    void toggleSettings();
    void copyText(const QString& text);
    void readSelection();

    PanelState state_;
    std::unique_ptr<VoicePanel> window_;
    std::unique_ptr<QAction> checkUpdates_;
    ModelsLink* modelsLink_ = nullptr;
    QWidget* editor_ = nullptr;
    QPlainTextEdit* before_ = nullptr;
    QPlainTextEdit* after_ = nullptr;
    TextAreaBackground* sourceBackground_ = nullptr;
    TextAreaBackground* resultBackground_ = nullptr;
    FloatingButton* editorToggle_ = nullptr;
    FloatingButton* settingsButton_ = nullptr;
    FloatingButton* closeButton_ = nullptr;
    FloatingButton* record_ = nullptr;
    FloatingButton* cancel_ = nullptr;
    FloatingButton* copySource_ = nullptr;
    FloatingButton* copyResult_ = nullptr;
    FloatingButton* details_ = nullptr;
    FloatingButton* restoreTranscript_ = nullptr;
    QPushButton* run_ = nullptr;
    QLabel* productName_ = nullptr;
    QLabel* headline_ = nullptr;
    StatusLabel* status_ = nullptr;
    QLabel* scope_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* sourceTitle_ = nullptr;
    QLabel* resultTitle_ = nullptr;
    QLabel* inputLanguageTitle_ = nullptr;
    QLabel* targetLanguageTitle_ = nullptr;
    QLabel* speechInfo_ = nullptr;
    QComboBox* mode_ = nullptr;
    QComboBox* inputLanguage_ = nullptr;
    QComboBox* language_ = nullptr;
    QComboBox* speechEngine_ = nullptr;
    QWidget* vocabularyRow_ = nullptr;
    QLineEdit* vocabulary_ = nullptr;
    QCheckBox* autoProcess_ = nullptr;
    QCheckBox* autoInsert_ = nullptr;
    QCheckBox* convertWhileSpeaking_ = nullptr;
    QCheckBox* hongKongCharacters_ = nullptr;
    AutostartCheckBox* startAtLogin_ = nullptr;
    SettingsPopover* settingsPopover_ = nullptr;
    QLabel* shortcutTitle_ = nullptr;
    QComboBox* shortcutChoice_ = nullptr;
    QLabel* shortcutInfo_ = nullptr;
    QPushButton* shortcutPermission_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QPushButton* checkUpdatesButton_ = nullptr;
    QPushButton* restartButton_ = nullptr;
    QLabel* restartNotice_ = nullptr;
    QPushButton* modelsButton_ = nullptr;
};

} // namespace kivo
