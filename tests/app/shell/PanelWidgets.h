#pragma once

#include "app/shell/AutostartCheckBox.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/SettingsPopover.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/VoicePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <stdexcept>

namespace kivo::test {

// The panel's controls, looked up by name, for tests that click, type and look at them.
struct PanelWidgets {
    explicit PanelWidgets(const FloatingPanel& panel) : window(&panel.window()) {}

    template <typename Widget>
    Widget* find(const char* name) const
    {
        auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
        if (!widget) {
            throw std::logic_error(std::string("no panel control named ") + name);
        }
        return widget;
    }

    VoicePanel* window;
    QWidget* editor = find<QWidget>("editor");
    QPlainTextEdit* before = find<QPlainTextEdit>("source");
    QPlainTextEdit* after = find<QPlainTextEdit>("result");
    FloatingButton* editorToggle = find<FloatingButton>("editorToggle");
    FloatingButton* settingsButton = find<FloatingButton>("settingsButton");
    FloatingButton* closeButton = find<FloatingButton>("closeButton");
    FloatingButton* record = find<FloatingButton>("record");
    FloatingButton* cancel = find<FloatingButton>("cancel");
    FloatingButton* copySource = find<FloatingButton>("copySource");
    FloatingButton* copyResult = find<FloatingButton>("copyResult");
    FloatingButton* details = find<FloatingButton>("details");
    FloatingButton* restoreTranscript = find<FloatingButton>("restoreTranscript");
    QPushButton* run = find<QPushButton>("convert");
    QLabel* headline = find<QLabel>("headline");
    StatusLabel* status = find<StatusLabel>("status");
    QLabel* scope = find<QLabel>("scope");
    QLabel* notice = find<QLabel>("notice");
    QLabel* sourceTitle = find<QLabel>("sourceTitle");
    QLabel* resultTitle = find<QLabel>("resultTitle");
    QLabel* speechInfo = find<QLabel>("speechInfo");
    QComboBox* mode = find<QComboBox>("mode");
    QComboBox* inputLanguage = find<QComboBox>("inputLanguage");
    QComboBox* language = find<QComboBox>("language");
    QComboBox* speechEngine = find<QComboBox>("speechEngine");
    QWidget* vocabularyRow = find<QWidget>("vocabularyRow");
    QLineEdit* vocabulary = find<QLineEdit>("vocabulary");
    QCheckBox* autoProcess = find<QCheckBox>("autoProcess");
    QCheckBox* autoInsert = find<QCheckBox>("autoInsert");
    AutostartCheckBox* startAtLogin = find<AutostartCheckBox>("startAtLogin");
    SettingsPopover* settingsPopover = find<SettingsPopover>("settingsPopover");
    QLabel* shortcutTitle = find<QLabel>("shortcutTitle");
    QComboBox* shortcutChoice = find<QComboBox>("shortcutChoice");
    QLabel* shortcutInfo = find<QLabel>("shortcutInfo");
    QPushButton* shortcutPermission = find<QPushButton>("shortcutPermission");
    QLabel* versionLabel = find<QLabel>("versionLabel");
    QPushButton* checkUpdatesButton = find<QPushButton>("checkUpdates");
    QPushButton* restartButton = find<QPushButton>("restart");
    QLabel* restartNotice = find<QLabel>("restartNotice");
    QPushButton* modelsButton = find<QPushButton>("models");
};

} // namespace kivo::test
