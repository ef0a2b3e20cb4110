#include "app/shell/FloatingPanel.h"

#include "app/conversion/OutputMode.h"
#include "app/shell/AutostartCheckBox.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/HintField.h"
#include "app/shell/Localization.h"
#include "app/shell/PopUpButton.h"
#include "app/shell/SettingsPopover.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/SymbolGlyph.h"
#include "app/shell/TextAreaBackground.h"
#include "app/shell/VoicePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QFontDatabase>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

namespace kivo {
namespace {

template <typename View>
View* place(View* view, int x, int y, int width, int height)
{
    view->setGeometry(x, y, width, height);
    return view;
}

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont result;
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

QLabel* label(QWidget* parent, int pixelSize, bool secondary, QFont::Weight weight = QFont::Normal)
{
    auto* view = new QLabel(parent);
    view->setFont(font(pixelSize, weight));
    view->setTextFormat(Qt::PlainText);
    if (secondary) {
        QPalette palette = view->palette();
        QColor color = palette.color(QPalette::WindowText);
        color.setAlphaF(0.62f);
        palette.setColor(QPalette::WindowText, color);
        view->setPalette(palette);
    }
    return view;
}

QComboBox* popUp(QWidget* parent)
{
    auto* view = new PopUpButton(parent);
    view->setFont(font(12));
    return view;
}

QPlainTextEdit* textView(QWidget* parent)
{
    auto* view = new QPlainTextEdit(parent);
    view->setFrameShape(QFrame::NoFrame);
    view->setFont(font(14));
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->document()->setDocumentMargin(10);
    // Tab moves on to the next control instead of typing a tab: no keyboard trap.
    view->setTabChangesFocus(true);
    view->viewport()->setAutoFillBackground(false);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    view->setPalette(palette);
    return view;
}

// The panel's symbols as a small icon for a text button, in the button's text colour.
QIcon symbolIcon(const QString& symbol, const QWidget& button)
{
    const qreal ratio = button.devicePixelRatioF();
    QPixmap pixmap(QSize(16, 16) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    SymbolGlyph::paint(painter, QRectF(0, 0, 16, 16), symbol, button.palette().color(QPalette::ButtonText));
    painter.end();
    return QIcon(pixmap);
}

// Semibold where the fonts have it. The Chinese fonts of many desktops come in one weight,
// and fontconfig only synthesises bold: there the headings ask for bold to stay headings.
QFont::Weight headingWeight(bool chinese)
{
    if (!chinese) {
        return QFont::DemiBold;
    }
    static const bool chineseSemibold = [] {
        for (const QString& family : QFontDatabase::families(QFontDatabase::TraditionalChinese)) {
            for (const QString& style : QFontDatabase::styles(family)) {
                const int weight = QFontDatabase::weight(family, style);
                if (weight >= QFont::Medium && weight < QFont::Bold) {
                    return true;
                }
            }
        }
        return false;
    }();
    return chineseSemibold ? QFont::DemiBold : QFont::Bold;
}

void setItems(QComboBox* popUp, const QStringList& items)
{
    const int selected = popUp->currentIndex();
    const QSignalBlocker quiet(popUp);
    for (int i = 0; i < items.size(); ++i) {
        if (i < popUp->count()) {
            popUp->setItemText(i, items[i]);
        } else {
            popUp->addItem(items[i]);
        }
    }
    popUp->setCurrentIndex(std::max(0, selected));
}

} // namespace

FloatingPanel::FloatingPanel(QObject* parent) : QObject(parent)
{
    buildFloatingInterface();
}

FloatingPanel::~FloatingPanel() = default;

bool FloatingPanel::chinese() const
{
    return language->currentIndex() == 1;
}

QString FloatingPanel::tr(const char* chineseText, const char* englishText) const
{
    return Localization::tr(chinese(), chineseText, englishText);
}

void FloatingPanel::buildFloatingInterface()
{
    window = std::make_unique<VoicePanel>();
    QWidget* content = window.get();
    const int w = VoicePanel::width;

    productName = place(label(content, 17, false, QFont::Bold), 22, 16, 120, 24);
    productName->setText(QStringLiteral("Kivo"));
    settingsButton = place(new FloatingButton(content), w - 82, 14, 28, 28);
    closeButton = place(new FloatingButton(content), w - 48, 14, 28, 28);

    headline = place(label(content, 13, true), 20, 46, w - 40, 20);
    headline->setAlignment(Qt::AlignCenter);
    record = place(new FloatingButton(content), (w - 72) / 2, 72, 72, 72);
    record->setProminent(true);
    cancel = place(new FloatingButton(content), (w + 72) / 2 + 18, 94, 28, 28);
    cancel->hide();

    inputLanguageTitle = place(label(content, 11, true), 22, 154, 160, 16);
    targetLanguageTitle = place(label(content, 11, true), 198, 154, 160, 16);
    inputLanguage = place(popUp(content), 20, 171, 162, 26);
    inputLanguage->addItem(QStringLiteral("粵語"));
    mode = place(popUp(content), 198, 171, 162, 26);
    for (const OutputMode target : OutputMode::all()) {
        mode->addItem(QString::fromUtf8(target.row().languageTitle));
    }
    mode->setCurrentIndex(OutputMode::standard().index());

    editorToggle = place(new FloatingButton(content), 20, 208, 28, 28);
    copyResult = place(new FloatingButton(content), w - 48, 208, 28, 28);
    copyResult->setEnabled(false);

    status = place(new StatusLabel(content), 56, 204, w - 112, 44);
    status->setFont(font(11));
    status->setAlignment(Qt::AlignCenter);
    {
        QPalette palette = status->palette();
        QColor color = palette.color(QPalette::WindowText);
        color.setAlphaF(0.62f);
        palette.setColor(QPalette::WindowText, color);
        status->setPalette(palette);
    }
    status->setText(QStringLiteral("就緒。文字及音訊只保留於記憶體。"));

    // The editor fills the part of the window that only shows when expanded.
    editor = place(new QWidget(content), 0, 256, w, VoicePanel::expandedHeight - 256);
    editor->hide();
    sourceTitle = place(label(editor, 12, true, QFont::DemiBold), 22, 4, 200, 18);
    sourceBackground = place(new TextAreaBackground(editor), 20, 24, w - 40, 150);
    before = place(textView(editor), 20, 24, w - 40, 150);
    resultTitle = place(label(editor, 12, true, QFont::DemiBold), 22, 182, 200, 18);
    resultBackground = place(new TextAreaBackground(editor), 20, 202, w - 40, 150);
    after = place(textView(editor), 20, 202, w - 40, 150);
    after->setReadOnly(true);
    scope = place(label(editor, 11, true), 22, 362, 200, 18);
    scope->setText(QStringLiteral("處理左側全文"));
    run = place(new QPushButton(editor), w - 160, 358, 140, 26);
    run->setFont(font(12));
    restoreTranscript = place(new FloatingButton(editor), 20, 392, 28, 28);
    details = place(new FloatingButton(editor), 56, 392, 28, 28);
    copySource = place(new FloatingButton(editor), w - 48, 392, 28, 28);

    QColor blue(10, 132, 255);
    blue.setAlphaF(0.1f);
    sourceBackground->setTint(blue);
    QColor grey = content->palette().color(QPalette::WindowText);
    grey.setAlphaF(0.06f);
    resultBackground->setTint(grey);

    buildSettings();
    setEditorExpanded(false);
}

void FloatingPanel::buildSettings()
{
    settingsPopover = new SettingsPopover(window.get());
    QWidget* popover = settingsPopover;
    auto* rows = settingsPopover->rows();

    language = popUp(popover);
    language->addItems({QStringLiteral("English UI"), QStringLiteral("繁體中文介面")});
    rows->addWidget(language);
    autoProcess = new QCheckBox(popover);
    autoProcess->setChecked(true);
    rows->addWidget(autoProcess);
    autoInsert = new QCheckBox(popover);
    autoInsert->setChecked(true);
    rows->addWidget(autoInsert);
    hongKongCharacters = new QCheckBox(popover);
    hongKongCharacters->setChecked(true);
    rows->addWidget(hongKongCharacters);
    startAtLogin = new AutostartCheckBox(popover);
    rows->addWidget(startAtLogin);
    speechEngine = popUp(popover);
    // Named in the interface language by the controller (SpeechEngine::title).
    speechEngine->addItems({QStringLiteral("Whisper speech model"), QStringLiteral("Whisper with hints")});
    rows->addWidget(speechEngine);
    speechInfo = label(popover, 11, true);
    speechInfo->setWordWrap(true);
    rows->addWidget(speechInfo);
    vocabularyRow = new QWidget(popover);
    auto* vocabularyLayout = new QHBoxLayout(vocabularyRow);
    vocabularyLayout->setContentsMargins(0, 0, 0, 0);
    vocabulary = new HintField(vocabularyRow);
    vocabularyLayout->addWidget(vocabulary);
    rows->addWidget(vocabularyRow);
    notice = label(popover, 11, true);
    notice->setWordWrap(true);
    rows->addWidget(notice);

    shortcutTitle = label(popover, 12, false, QFont::DemiBold);
    rows->addWidget(shortcutTitle);
    shortcutChoice = popUp(popover);
    // Named in the interface language by the controller (PanelShortcut::title).
    shortcutChoice->addItems({QStringLiteral("Right Super (tap)"), QStringLiteral("Ctrl+Alt+Space"),
                              QStringLiteral("Shift+Super+Space"), QStringLiteral("Disabled")});
    rows->addWidget(shortcutChoice);
    shortcutInfo = label(popover, 11, true);
    shortcutInfo->setWordWrap(true);
    rows->addWidget(shortcutInfo);
    shortcutPermission = new QPushButton(popover);
    shortcutPermission->hide();
    rows->addWidget(shortcutPermission);

    auto* versionRow = new QHBoxLayout();
    versionLabel = label(popover, 11, true);
    checkUpdatesButton = new QPushButton(popover);
    checkUpdatesButton->setEnabled(false);
    versionRow->addWidget(versionLabel, 1);
    versionRow->addWidget(checkUpdatesButton);
    rows->addLayout(versionRow);

    restartButton = new QPushButton(popover);
    rows->addWidget(restartButton);
    restartNotice = label(popover, 11, true);
    restartNotice->setWordWrap(true);
    rows->addWidget(restartNotice);

    for (QWidget* wide : {static_cast<QWidget*>(speechInfo), static_cast<QWidget*>(notice),
                          static_cast<QWidget*>(shortcutInfo), static_cast<QWidget*>(restartNotice),
                          static_cast<QWidget*>(autoInsert)}) {
        wide->setFixedWidth(300);
    }
}

void FloatingPanel::localizeLabels(const QString& version)
{
    QStringList targets;
    for (const OutputMode target : OutputMode::all()) {
        targets << QString::fromUtf8(chinese() ? target.row().languageTitle : target.row().englishLanguageTitle);
    }
    setItems(mode, targets);
    setItems(inputLanguage, {tr("粵語", "Cantonese")});
    inputLanguageTitle->setText(tr("輸入語音", "Speech input"));
    targetLanguageTitle->setText(tr("目標文字", "Text output"));
    inputLanguage->setToolTip(tr("目前支援粵語語音辨識。", "Cantonese speech recognition is currently supported."));
    for (QLabel* heading : {sourceTitle, resultTitle, shortcutTitle}) {
        QFont headingFont = heading->font();
        headingFont.setWeight(headingWeight(chinese()));
        heading->setFont(headingFont);
    }
    window->setWindowTitle(QStringLiteral("Kivo ") + version +
                           tr(" — 本機語音與文字轉換", " — Local voice and text"));

    sourceTitle->setText(tr("原文", "Original"));
    resultTitle->setText(tr("結果", "Result"));
    run->setText(tr("手動轉換", "Convert manually"));
    cancel->setText(tr("取消", "Cancel"));
    copySource->setText(tr("複製原文", "Copy original"));
    copyResult->setText(tr("複製結果", "Copy result"));
    details->setText(tr("辨識明細／候選文字", "Recognition details / alternatives"));
    restoreTranscript->setText(tr("還原 STT 原文", "Restore STT original"));
    vocabulary->setPlaceholderText(tr("提示詞（選填，逗號分隔；最多 50 個）：Redis cache, Codex",
                                      "Optional hints, comma-separated (max 50): Redis cache, Codex"));
    autoProcess->setText(tr("停止錄音後自動處理", "Process after recording"));
    autoInsert->setText(tr("處理後填入目前輸入框", "Insert into the current input after processing"));
    hongKongCharacters->setText(tr("辨識結果用香港繁體字", "Hong Kong characters in transcripts"));
    hongKongCharacters->setToolTip(tr("以普通話（zh）辨識的模型常寫簡體字；開啟時轉成香港繁體，英文、數字和提示詞不變。",
                                      "Models run as Mandarin (zh) often write Simplified characters; when on, "
                                      "transcripts become Hong Kong Traditional, leaving Latin text, digits and "
                                      "hints as they are."));
    versionLabel->setText(QStringLiteral("Kivo ") + version);
    startAtLogin->localize(chinese());
    // The shortcut and update controls are labelled by their own subsystems, which know their
    // state (TrialApp::updateShortcutLabels, UpdateController::localizeUpdateControls).

    const OutputMode::Row& selected = OutputMode::at(mode->currentIndex()).row();
    notice->setText(QString::fromUtf8(chinese() ? selected.detail : selected.englishDetail));
    mode->setToolTip(notice->text());
}

void FloatingPanel::localizeFloatingInterface()
{
    restartButton->setText(tr("重新啟動 Kivo", "Restart Kivo"));
    restartButton->setIcon(symbolIcon(QStringLiteral("arrow.clockwise"), *restartButton));
    restartNotice->setText(tr("重啟會停止錄音與轉換，清除原文及結果；設定會保留。",
                              "Restart stops recording and conversion and clears text and results. Settings are kept."));
    restartButton->setToolTip(restartNotice->text());
    settingsButton->setIcon(QStringLiteral("slider.horizontal.3"), tr("設定", "Settings"));
    closeButton->setIcon(QStringLiteral("xmark"), tr("關閉", "Close"));
    updateEditorToggle();
    for (FloatingButton* button : {cancel, copySource, copyResult, details, restoreTranscript}) {
        QString symbol;
        if (button == cancel) {
            symbol = QStringLiteral("xmark");
        } else if (button == copySource) {
            symbol = QStringLiteral("doc.on.doc");
        } else if (button == copyResult) {
            symbol = QStringLiteral("doc.on.clipboard");
        } else if (button == details) {
            symbol = QStringLiteral("info");
        } else {
            symbol = QStringLiteral("arrow.uturn.backward");
        }
        button->setIcon(symbol, button->text());
    }
    before->setAccessibleName(sourceTitle->text());
    after->setAccessibleName(resultTitle->text());
    mode->setAccessibleName(targetLanguageTitle->text());
    inputLanguage->setAccessibleName(inputLanguageTitle->text());
    speechEngine->setAccessibleName(tr("辨識引擎", "Recognition engine"));
    language->setAccessibleName(tr("介面語言", "Interface language"));
    vocabulary->setAccessibleName(tr("辨識提示詞", "Recognition hints"));
}

void FloatingPanel::updateFloatingControls(const Activity& activity)
{
    activity_ = activity;
    const bool recording = activity.speechBusy && activity.recording;
    record->setRecording(recording);
    if (recording) {
        record->setIcon(QStringLiteral("stop.fill"), tr("停止錄音", "Stop recording"));
    } else {
        record->setIcon(QStringLiteral("mic.fill"), tr("開始錄音", "Start recording"));
    }
    cancel->setVisible(activity.converting || activity.speechBusy);
    if (activity.converting) {
        headline->setText(tr("正在轉換…", "Converting…"));
    } else if (!activity.speechBusy) {
        headline->setText(tr("點一下，開始說話", "Tap to speak"));
    } else if (!recording) {
        headline->setText(tr("請稍候…", "One moment…"));
    } else {
        headline->setText(tr("正在聆聽…", "Listening…"));
    }
    updateButtonHelp();
}

void FloatingPanel::updateButtonHelp()
{
    settingsButton->setToolTip(tr("開啟設定：介面語言、語音辨識、快捷鍵及自動填入。",
                                  "Open settings for interface language, speech recognition, shortcuts and automatic insertion."));
    closeButton->setToolTip(tr("結束 Kivo；停止錄音與轉換，清除本次原文及結果。",
                               "Quit Kivo, stop recording and conversion, and clear the current text and result."));
    if (!activity_.speechBusy) {
        record->setToolTip(tr("開始錄音，將說話轉成文字；再按一次停止。",
                              "Start recording to transcribe speech; press again to stop."));
    } else if (!activity_.recording) {
        record->setToolTip(tr("正在準備或完成語音辨識，請稍候。", "Preparing or finishing transcription. Please wait."));
    } else {
        record->setToolTip(tr("停止錄音，完成語音辨識；按設定自動處理文字。",
                              "Stop recording and finish transcription; process the text automatically if enabled."));
    }
    if (!activity_.speechBusy) {
        cancel->setToolTip(tr("取消本次文字轉換，保留原文。", "Cancel this conversion and keep the original text."));
    } else {
        cancel->setToolTip(tr("取消本次錄音，還原錄音前的原文及結果。",
                              "Cancel this recording and restore the previous text and result."));
    }
    if (editorExpanded_) {
        editorToggle->setToolTip(tr("收合原文及結果區；文字會保留。", "Collapse Original and Result; keep their text."));
    } else {
        editorToggle->setToolTip(tr("展開原文及結果區，檢閱或編輯原文。",
                                    "Expand Original and Result to review or edit the original text."));
    }
    run->setToolTip(tr("依目標文字語言轉換原文；有選取時只轉換選取部分，否則轉換全文。",
                       "Convert to the selected output language: the selected original text, or the full text if nothing is selected."));
    copySource->setToolTip(tr("將原文全文複製到剪貼簿。", "Copy the entire original text to the clipboard."));
    copyResult->setToolTip(tr("將轉換結果複製到剪貼簿，供你貼到其他 App。",
                              "Copy the converted result to the clipboard to paste into another app."));
    details->setToolTip(tr("查看本次語音辨識的原文、分段及引擎提供的候選文字。",
                           "View the transcript, segments and alternatives supplied by the speech engine."));
    restoreTranscript->setToolTip(tr("以最近一次完成的語音辨識原文取代目前原文，並清除舊轉換結果。",
                                     "Replace Original with the latest completed transcript and clear the previous conversion result."));
    language->setToolTip(tr("切換 Kivo 的介面語言，不改變目標文字語言。",
                            "Change the Kivo interface language without changing the text output language."));
    speechEngine->setToolTip(tr("選擇本機語音辨識方式；「Whisper＋提示詞」會使用你填寫的提示詞。",
                                "Choose how speech is recognised on this computer; \"Whisper with hints\" uses your recognition hints."));
    autoProcess->setToolTip(tr("停止錄音並完成辨識後，自動按目標文字語言處理。",
                               "Automatically process the transcript in the selected output language after recording ends."));
    autoInsert->setToolTip(tr("轉換完成後，將結果填入當時正在使用的外部輸入框。",
                              "Insert the converted result into the external input focused when conversion finishes."));
    shortcutChoice->setToolTip(tr("選擇開始及停止錄音的全域快捷鍵，或停用快捷鍵。",
                                  "Choose a global shortcut to start and stop recording, or disable it."));
    shortcutPermission->setToolTip(tr("開啟桌面的輔助使用設定（AT-SPI），供全域右 Super 及自動填入使用。",
                                      "Turn on the desktop's accessibility setting (AT-SPI) for the global Right Super tap and automatic insertion."));
}

void FloatingPanel::updateSettingsLayout()
{
    speechInfo->setVisible(!speechInfo->text().isEmpty());
    shortcutInfo->setVisible(!shortcutInfo->text().isEmpty());
    settingsPopover->fitContent();
}

void FloatingPanel::toggleSettings()
{
    if (settingsPopover->isVisible()) {
        settingsPopover->hide();
        return;
    }
    if (settingsPopover->justClosed()) {
        return; // the click on the settings button was what closed it
    }
    updateSettingsLayout();
    settingsPopover->showAnchored(settingsButton);
}

void FloatingPanel::toggleEditor()
{
    setEditorExpanded(!editorExpanded_);
}

void FloatingPanel::showEditor()
{
    if (QWidget* focused = window->focusWidget()) {
        focused->clearFocus();
    }
    setEditorExpanded(true);
}

void FloatingPanel::updateEditorToggle()
{
    if (editorExpanded_) {
        editorToggle->setIcon(QStringLiteral("chevron.up"), tr("收合文字", "Collapse text"));
    } else {
        editorToggle->setIcon(QStringLiteral("text.alignleft"), tr("展開文字", "Expand text"));
    }
}

void FloatingPanel::setEditorExpanded(bool expanded)
{
    editorExpanded_ = expanded;
    editor->setVisible(expanded);
    updateEditorToggle();
    updateButtonHelp();
    if (!expanded) {
        before->clearFocus();
        after->clearFocus();
    }
    // The top edge stays where it was; the panel then moves up if it would leave the screen.
    const int height = expanded ? VoicePanel::expandedHeight : VoicePanel::collapsedHeight;
    QRect frame = window->geometry();
    frame.setHeight(height);
    if (const QScreen* screen = window->screen()) {
        const QRect visible = screen->availableGeometry();
        if (frame.bottom() > visible.bottom()) {
            frame.moveBottom(visible.bottom());
        }
        if (frame.top() < visible.top()) {
            frame.moveTop(visible.top());
        }
    }
    window->setFixedSize(frame.size());
    window->place(frame.topLeft());
    if (onEditorExpandedChanged) {
        onEditorExpandedChanged(expanded);
    }
}

} // namespace kivo
