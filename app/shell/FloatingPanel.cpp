#include "app/shell/FloatingPanel.h"

#include "app/conversion/OutputMode.h"
#include "app/models/ModelAdvice.h"
#include "app/shell/AutostartCheckBox.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/HintField.h"
#include "app/shell/InterfaceLanguage.h"
#include "app/shell/PopUpButton.h"
#include "app/shell/SettingsPopover.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/SymbolGlyph.h"
#include "app/shell/TextAreaBackground.h"
#include "app/shell/VoicePanel.h"
#include "app/shell/models/ModelsLink.h"
#include "app/shell/shortcut/PanelShortcut.h"
#include "app/speech/SpeechEngine.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>

#include <algorithm>
#include <utility>

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

FloatingPanel::FloatingPanel() : checkUpdates_(std::make_unique<QAction>())
{
    // Placeholders until the application first applies the interface language; not in the catalogue.
    state_.status = QStringLiteral("就緒。文字及音訊只保留於記憶體。");
    state_.scope = QStringLiteral("處理左側全文");
    buildFloatingInterface();
    connectControls();
}

FloatingPanel::~FloatingPanel() = default;

void FloatingPanel::buildFloatingInterface()
{
    window_ = std::make_unique<VoicePanel>();
    QWidget* content = window_.get();
    const int w = VoicePanel::width;

    productName_ = place(label(content, 17, false, QFont::Bold), 22, 16, 120, 24);
    productName_->setText(QStringLiteral("Kivo"));
    settingsButton_ = place(new FloatingButton(content), w - 82, 14, 28, 28);
    closeButton_ = place(new FloatingButton(content), w - 48, 14, 28, 28);

    headline_ = place(label(content, 13, true), 20, 46, w - 40, 20);
    headline_->setAlignment(Qt::AlignCenter);
    record_ = place(new FloatingButton(content), (w - 72) / 2, 72, 72, 72);
    record_->setProminent(true);
    cancel_ = place(new FloatingButton(content), (w + 72) / 2 + 18, 94, 28, 28);
    cancel_->hide();

    inputLanguageTitle_ = place(label(content, 11, true), 22, 154, 160, 16);
    targetLanguageTitle_ = place(label(content, 11, true), 198, 154, 160, 16);
    inputLanguage_ = place(popUp(content), 20, 171, 162, 26);
    inputLanguage_->addItem(tr("Cantonese"));
    mode_ = place(popUp(content), 198, 171, 162, 26);
    for (const OutputMode target : OutputMode::all()) {
        mode_->addItem(QCoreApplication::translate("OutputMode", target.row().languageTitle.data()));
    }
    mode_->setCurrentIndex(OutputMode::standard().index());

    editorToggle_ = place(new FloatingButton(content), 20, 208, 28, 28);
    copyResult_ = place(new FloatingButton(content), w - 48, 208, 28, 28);
    copyResult_->setEnabled(false);

    status_ = place(new StatusLabel(content), 56, 204, w - 112, 44);
    status_->setFont(font(11));
    status_->setAlignment(Qt::AlignCenter);
    {
        QPalette palette = status_->palette();
        QColor color = palette.color(QPalette::WindowText);
        color.setAlphaF(0.62f);
        palette.setColor(QPalette::WindowText, color);
        status_->setPalette(palette);
    }
    status_->setText(state_.status);
    modelsLink_ = new ModelsLink(status_, [this] { emit modelsClicked(); });

    // The editor fills the part of the window that only shows when expanded.
    editor_ = place(new QWidget(content), 0, 256, w, VoicePanel::expandedHeight - 256);
    editor_->hide();
    sourceTitle_ = place(label(editor_, 12, true, QFont::DemiBold), 22, 4, 200, 18);
    sourceBackground_ = place(new TextAreaBackground(editor_), 20, 24, w - 40, 150);
    before_ = place(textView(editor_), 20, 24, w - 40, 150);
    resultTitle_ = place(label(editor_, 12, true, QFont::DemiBold), 22, 182, 200, 18);
    resultBackground_ = place(new TextAreaBackground(editor_), 20, 202, w - 40, 150);
    after_ = place(textView(editor_), 20, 202, w - 40, 150);
    after_->setReadOnly(true);
    scope_ = place(label(editor_, 11, true), 22, 362, 200, 18);
    scope_->setText(state_.scope);
    run_ = place(new QPushButton(editor_), w - 160, 358, 140, 26);
    run_->setFont(font(12));
    restoreTranscript_ = place(new FloatingButton(editor_), 20, 392, 28, 28);
    details_ = place(new FloatingButton(editor_), 56, 392, 28, 28);
    copySource_ = place(new FloatingButton(editor_), w - 48, 392, 28, 28);

    QColor blue(10, 132, 255);
    blue.setAlphaF(0.1f);
    sourceBackground_->setTint(blue);
    QColor grey = content->palette().color(QPalette::WindowText);
    grey.setAlphaF(0.06f);
    resultBackground_->setTint(grey);

    buildSettings();
    setEditorExpanded(false);
}

void FloatingPanel::buildSettings()
{
    settingsPopover_ = new SettingsPopover(window_.get());
    QWidget* popover = settingsPopover_;
    auto* rows = settingsPopover_->rows();

    language_ = popUp(popover);
    // Each language named in itself, whatever the interface language: not in the catalogue.
    language_->addItems({QStringLiteral("English UI"), QStringLiteral("繁體中文介面")});
    rows->addWidget(language_);
    autoProcess_ = new QCheckBox(popover);
    autoProcess_->setChecked(true);
    rows->addWidget(autoProcess_);
    convertWhileSpeaking_ = new QCheckBox(popover);
    convertWhileSpeaking_->setChecked(true);
    rows->addWidget(convertWhileSpeaking_);
    autoInsert_ = new QCheckBox(popover);
    autoInsert_->setChecked(true);
    rows->addWidget(autoInsert_);
    hongKongCharacters_ = new QCheckBox(popover);
    hongKongCharacters_->setChecked(true);
    rows->addWidget(hongKongCharacters_);
    startAtLogin_ = new AutostartCheckBox(popover);
    rows->addWidget(startAtLogin_);
    speechEngine_ = popUp(popover);
    // Named in the interface language at localization (SpeechEngine::title).
    speechEngine_->addItems({QStringLiteral("Whisper speech model"), QStringLiteral("Whisper with hints")});
    rows->addWidget(speechEngine_);
    speechInfo_ = label(popover, 11, true);
    speechInfo_->setWordWrap(true);
    rows->addWidget(speechInfo_);
    vocabularyRow_ = new QWidget(popover);
    auto* vocabularyLayout = new QHBoxLayout(vocabularyRow_);
    vocabularyLayout->setContentsMargins(0, 0, 0, 0);
    vocabulary_ = new HintField(vocabularyRow_);
    vocabularyLayout->addWidget(vocabulary_);
    rows->addWidget(vocabularyRow_);
    notice_ = label(popover, 11, true);
    notice_->setWordWrap(true);
    rows->addWidget(notice_);

    shortcutTitle_ = label(popover, 12, false, QFont::DemiBold);
    rows->addWidget(shortcutTitle_);
    shortcutChoice_ = popUp(popover);
    // Named in the interface language at localization (PanelShortcut::title).
    shortcutChoice_->addItems({QStringLiteral("Right Super (tap)"), QStringLiteral("Ctrl+Alt+Space"),
                               QStringLiteral("Shift+Super+Space"), QStringLiteral("Disabled")});
    rows->addWidget(shortcutChoice_);
    shortcutInfo_ = label(popover, 11, true);
    shortcutInfo_->setWordWrap(true);
    rows->addWidget(shortcutInfo_);
    shortcutPermission_ = new QPushButton(popover);
    shortcutPermission_->hide();
    rows->addWidget(shortcutPermission_);

    auto* versionRow = new QHBoxLayout();
    versionLabel_ = label(popover, 11, true);
    checkUpdatesButton_ = new QPushButton(popover);
    checkUpdatesButton_->setEnabled(false);
    versionRow->addWidget(versionLabel_, 1);
    versionRow->addWidget(checkUpdatesButton_);
    rows->addLayout(versionRow);

    restartButton_ = new QPushButton(popover);
    rows->addWidget(restartButton_);
    restartNotice_ = label(popover, 11, true);
    restartNotice_->setWordWrap(true);
    rows->addWidget(restartNotice_);
    modelsButton_ = new QPushButton(popover);
    modelsButton_->setText(tr("Models…"));
    rows->addWidget(modelsButton_);

    for (QWidget* wide :
         {static_cast<QWidget*>(speechInfo_), static_cast<QWidget*>(notice_), static_cast<QWidget*>(shortcutInfo_),
          static_cast<QWidget*>(restartNotice_), static_cast<QWidget*>(autoInsert_)}) {
        wide->setFixedWidth(300);
    }
}

void FloatingPanel::localizeLabels(const QString& version)
{
    QStringList targets;
    for (const OutputMode target : OutputMode::all()) {
        targets << QCoreApplication::translate("OutputMode", target.row().languageTitle.data());
    }
    setItems(mode_, targets);
    setItems(inputLanguage_, {tr("Cantonese")});
    inputLanguageTitle_->setText(tr("Speech input"));
    targetLanguageTitle_->setText(tr("Text output"));
    inputLanguage_->setToolTip(tr("Cantonese speech recognition is currently supported."));
    for (QLabel* heading : {sourceTitle_, resultTitle_, shortcutTitle_}) {
        QFont headingFont = heading->font();
        headingFont.setWeight(headingWeight(chinese()));
        heading->setFont(headingFont);
    }
    window_->setWindowTitle(QStringLiteral("Kivo ") + version + tr(" — Local voice and text"));

    sourceTitle_->setText(tr("Original"));
    resultTitle_->setText(tr("Result"));
    run_->setText(tr("Convert manually"));
    cancel_->setText(tr("Cancel"));
    copySource_->setText(tr("Copy original"));
    copyResult_->setText(tr("Copy result"));
    details_->setText(tr("Recognition details / alternatives"));
    restoreTranscript_->setText(tr("Restore STT original"));
    vocabulary_->setPlaceholderText(tr("Optional hints, comma-separated (max 50): Redis cache, Codex"));
    autoProcess_->setText(tr("Process after recording"));
    autoInsert_->setText(tr("Insert into the current input after processing"));
    convertWhileSpeaking_->setText(tr("Convert while speaking"));
    convertWhileSpeaking_->setToolTip(tr("Convert settled sentences during the recording, so that only the last words "
                                         "are left to convert after you stop."));
    hongKongCharacters_->setText(tr("Hong Kong characters in transcripts"));
    hongKongCharacters_->setToolTip(tr("Models run as Mandarin (zh) often write Simplified characters; when on, "
                                       "transcripts become Hong Kong Traditional, leaving Latin text, digits and "
                                       "hints as they are."));
    versionLabel_->setText(QStringLiteral("Kivo ") + version);
    startAtLogin_->localize();
    shortcutTitle_->setText(tr("Recording shortcut"));
    shortcutChoice_->setAccessibleName(shortcutTitle_->text());
    for (const auto shortcut : PanelShortcut::allCases) {
        shortcutChoice_->setItemText(PanelShortcut(shortcut).index(), PanelShortcut(shortcut).title());
    }
    shortcutPermission_->setText(tr("Turn on accessibility…"));
    for (const auto engine : SpeechEngine::allCases) {
        speechEngine_->setItemText(static_cast<int>(engine), QString::fromStdString(SpeechEngine(engine).title()));
    }
    modelsButton_->setText(tr("Models…"));
    modelsButton_->setToolTip(tr("Download, import or remove the speech and language models"));
    // The update controls are labelled by the update service, which knows whether an install waits.

    const OutputMode::Row& selected = OutputMode::at(mode_->currentIndex()).row();
    notice_->setText(QCoreApplication::translate("OutputMode", selected.detail.data()));
    mode_->setToolTip(notice_->text());
}

void FloatingPanel::localizeFloatingInterface()
{
    restartButton_->setText(tr("Restart Kivo"));
    restartButton_->setIcon(symbolIcon(QStringLiteral("arrow.clockwise"), *restartButton_));
    restartNotice_->setText(
        tr("Restart stops recording and conversion and clears text and results. Settings are kept."));
    restartButton_->setToolTip(restartNotice_->text());
    settingsButton_->setIcon(QStringLiteral("slider.horizontal.3"), tr("Settings"));
    closeButton_->setIcon(QStringLiteral("xmark"), tr("Close"));
    updateEditorToggle();
    for (FloatingButton* button : {cancel_, copySource_, copyResult_, details_, restoreTranscript_}) {
        QString symbol;
        if (button == cancel_) {
            symbol = QStringLiteral("xmark");
        } else if (button == copySource_) {
            symbol = QStringLiteral("doc.on.doc");
        } else if (button == copyResult_) {
            symbol = QStringLiteral("doc.on.clipboard");
        } else if (button == details_) {
            symbol = QStringLiteral("info");
        } else {
            symbol = QStringLiteral("arrow.uturn.backward");
        }
        button->setIcon(symbol, button->text());
    }
    before_->setAccessibleName(sourceTitle_->text());
    after_->setAccessibleName(resultTitle_->text());
    mode_->setAccessibleName(targetLanguageTitle_->text());
    inputLanguage_->setAccessibleName(inputLanguageTitle_->text());
    speechEngine_->setAccessibleName(tr("Recognition engine"));
    language_->setAccessibleName(tr("Interface language"));
    vocabulary_->setAccessibleName(tr("Recognition hints"));
}

void FloatingPanel::setActivity(const PanelActivity& activity)
{
    state_.activity = activity;
    const bool idle = activity.idle();
    for (QWidget* control :
         {static_cast<QWidget*>(speechEngine_), static_cast<QWidget*>(run_), static_cast<QWidget*>(mode_),
          static_cast<QWidget*>(inputLanguage_), static_cast<QWidget*>(autoProcess_),
          static_cast<QWidget*>(autoInsert_), static_cast<QWidget*>(language_)}) {
        control->setEnabled(idle);
    }
    // It only matters when the transcript is processed after recording.
    convertWhileSpeaking_->setEnabled(idle && state_.settings.autoProcess);
    before_->setReadOnly(!idle);
    vocabulary_->setEnabled(idle && state_.settings.dictation);
    details_->setEnabled(idle && activity.hasDetails);
    restoreTranscript_->setEnabled(idle && activity.hasTranscript);
    cancel_->setEnabled(activity.converting || activity.speechBusy);
    restartButton_->setEnabled(!activity.restarting);
    record_->setEnabled(!activity.restarting && !activity.delivering && !activity.converting && !activity.stopping &&
                        (!activity.speechBusy || activity.recording));

    const bool recording = activity.speechBusy && activity.recording;
    record_->setRecording(recording);
    if (recording) {
        record_->setIcon(QStringLiteral("stop.fill"), tr("Stop recording"));
    } else {
        record_->setIcon(QStringLiteral("mic.fill"), tr("Start recording"));
    }
    cancel_->setVisible(activity.converting || activity.speechBusy);
    if (activity.converting) {
        headline_->setText(tr("Converting…"));
    } else if (!activity.speechBusy) {
        headline_->setText(tr("Tap to speak"));
    } else if (!recording) {
        headline_->setText(tr("One moment…"));
    } else {
        headline_->setText(tr("Listening…"));
    }
    updateButtonHelp();
    copySource_->setEnabled(!activity.speechBusy && !activity.delivering);
    if (!idle || state_.result.isEmpty()) {
        state_.resultCopyable = false;
        copyResult_->setEnabled(false);
    }
}

void FloatingPanel::updateButtonHelp()
{
    settingsButton_->setToolTip(
        tr("Open settings for interface language, speech recognition, shortcuts and automatic insertion."));
    closeButton_->setToolTip(tr("Quit Kivo, stop recording and conversion, and clear the current text and result."));
    if (!state_.activity.speechBusy) {
        record_->setToolTip(tr("Start recording to transcribe speech; press again to stop."));
    } else if (!state_.activity.recording) {
        record_->setToolTip(tr("Preparing or finishing transcription. Please wait."));
    } else {
        record_->setToolTip(tr("Stop recording and finish transcription; process the text automatically if enabled."));
    }
    if (!state_.activity.speechBusy) {
        cancel_->setToolTip(tr("Cancel this conversion and keep the original text."));
    } else {
        cancel_->setToolTip(tr("Cancel this recording and restore the previous text and result."));
    }
    if (state_.settings.editorExpanded) {
        editorToggle_->setToolTip(tr("Collapse Original and Result; keep their text."));
    } else {
        editorToggle_->setToolTip(tr("Expand Original and Result to review or edit the original text."));
    }
    run_->setToolTip(tr("Convert to the selected output language: the selected original text, or the full text if "
                        "nothing is selected."));
    copySource_->setToolTip(tr("Copy the entire original text to the clipboard."));
    copyResult_->setToolTip(tr("Copy the converted result to the clipboard to paste into another app."));
    details_->setToolTip(tr("View the transcript, segments and alternatives supplied by the speech engine."));
    restoreTranscript_->setToolTip(
        tr("Replace Original with the latest completed transcript and clear the previous conversion result."));
    language_->setToolTip(tr("Change the Kivo interface language without changing the text output language."));
    speechEngine_->setToolTip(
        tr("Choose how speech is recognised on this computer; \"Whisper with hints\" uses your recognition hints."));
    autoProcess_->setToolTip(
        tr("Automatically process the transcript in the selected output language after recording ends."));
    autoInsert_->setToolTip(
        tr("Insert the converted result into the external input focused when conversion finishes."));
    shortcutChoice_->setToolTip(tr("Choose a global shortcut to start and stop recording, or disable it."));
    shortcutPermission_->setToolTip(tr("Turn on the desktop's accessibility setting (AT-SPI) for the global Right "
                                       "Super tap and automatic insertion."));
}

void FloatingPanel::updateSettingsLayout()
{
    speechInfo_->setVisible(!speechInfo_->text().isEmpty());
    shortcutInfo_->setVisible(!shortcutInfo_->text().isEmpty());
    settingsPopover_->fitContent();
}

void FloatingPanel::toggleSettings()
{
    if (settingsPopover_->isVisible()) {
        settingsPopover_->hide();
        return;
    }
    if (settingsPopover_->justClosed()) {
        return; // the click on the settings button was what closed it
    }
    updateSettingsLayout();
    settingsPopover_->showAnchored(settingsButton_);
}

void FloatingPanel::showEditor()
{
    if (QWidget* focused = window_->focusWidget()) {
        focused->clearFocus();
    }
    setEditorExpanded(true);
}

void FloatingPanel::updateEditorToggle()
{
    if (state_.settings.editorExpanded) {
        editorToggle_->setIcon(QStringLiteral("chevron.up"), tr("Collapse text"));
    } else {
        editorToggle_->setIcon(QStringLiteral("text.alignleft"), tr("Expand text"));
    }
}

void FloatingPanel::setEditorExpanded(bool expanded)
{
    state_.settings.editorExpanded = expanded;
    editor_->setVisible(expanded);
    updateEditorToggle();
    updateButtonHelp();
    if (!expanded) {
        before_->clearFocus();
        after_->clearFocus();
    }
    // The top edge stays where it was; the panel then moves up if it would leave the screen.
    const int height = expanded ? VoicePanel::expandedHeight : VoicePanel::collapsedHeight;
    QRect frame = window_->geometry();
    frame.setHeight(height);
    if (const QScreen* screen = window_->screen()) {
        const QRect visible = screen->availableGeometry();
        if (frame.bottom() > visible.bottom()) {
            frame.moveBottom(visible.bottom());
        }
        if (frame.top() < visible.top()) {
            frame.moveTop(visible.top());
        }
    }
    window_->setFixedSize(frame.size());
    window_->place(frame.topLeft());
    emit settingChanged(PanelSetting::editorExpanded);
}

void FloatingPanel::connectControls()
{
    // Named for tests and tools that look controls up.
    const std::pair<QObject*, const char*> named[] = {{editor_, "editor"},
                                                      {before_, "source"},
                                                      {after_, "result"},
                                                      {editorToggle_, "editorToggle"},
                                                      {settingsButton_, "settingsButton"},
                                                      {closeButton_, "closeButton"},
                                                      {record_, "record"},
                                                      {cancel_, "cancel"},
                                                      {copySource_, "copySource"},
                                                      {copyResult_, "copyResult"},
                                                      {details_, "details"},
                                                      {restoreTranscript_, "restoreTranscript"},
                                                      {run_, "convert"},
                                                      {headline_, "headline"},
                                                      {status_, "status"},
                                                      {scope_, "scope"},
                                                      {notice_, "notice"},
                                                      {sourceTitle_, "sourceTitle"},
                                                      {resultTitle_, "resultTitle"},
                                                      {speechInfo_, "speechInfo"},
                                                      {mode_, "mode"},
                                                      {inputLanguage_, "inputLanguage"},
                                                      {language_, "language"},
                                                      {speechEngine_, "speechEngine"},
                                                      {vocabularyRow_, "vocabularyRow"},
                                                      {vocabulary_, "vocabulary"},
                                                      {autoProcess_, "autoProcess"},
                                                      {autoInsert_, "autoInsert"},
                                                      {hongKongCharacters_, "hongKongCharacters"},
                                                      {convertWhileSpeaking_, "convertWhileSpeaking"},
                                                      {startAtLogin_, "startAtLogin"},
                                                      {settingsPopover_, "settingsPopover"},
                                                      {shortcutTitle_, "shortcutTitle"},
                                                      {shortcutChoice_, "shortcutChoice"},
                                                      {shortcutInfo_, "shortcutInfo"},
                                                      {shortcutPermission_, "shortcutPermission"},
                                                      {versionLabel_, "versionLabel"},
                                                      {checkUpdatesButton_, "checkUpdates"},
                                                      {restartButton_, "restart"},
                                                      {restartNotice_, "restartNotice"},
                                                      {modelsButton_, "models"}};
    for (const auto& [object, name] : named) {
        object->setObjectName(QString::fromLatin1(name));
    }

    const auto click = [this](QAbstractButton* button, void (FloatingPanel::*signal)()) {
        connect(button, &QAbstractButton::clicked, this, [this, signal] { emit(this->*signal)(); });
    };
    click(record_, &FloatingPanel::recordClicked);
    click(cancel_, &FloatingPanel::cancelClicked);
    click(run_, &FloatingPanel::convertClicked);
    click(restoreTranscript_, &FloatingPanel::restoreTranscriptClicked);
    click(details_, &FloatingPanel::detailsClicked);
    click(restartButton_, &FloatingPanel::restartClicked);
    click(shortcutPermission_, &FloatingPanel::shortcutPermissionClicked);
    click(closeButton_, &FloatingPanel::closeRequested);
    connect(window_.get(), &VoicePanel::closeRequested, this, &FloatingPanel::closeRequested);
    connect(settingsButton_, &QAbstractButton::clicked, this, [this] { toggleSettings(); });
    connect(editorToggle_, &QAbstractButton::clicked, this,
            [this] { setEditorExpanded(!state_.settings.editorExpanded); });
    connect(modelsButton_, &QPushButton::clicked, this, [this] {
        hideSettings();
        emit modelsClicked();
    });
    connect(copySource_, &QAbstractButton::clicked, this, [this] { copyText(state_.source); });
    connect(copyResult_, &QAbstractButton::clicked, this, [this] {
        if (copyResult_->isEnabled()) {
            copyText(state_.result);
            setStatus(tr("Result copied."));
        }
    });

    connect(before_, &QPlainTextEdit::textChanged, this, [this] {
        state_.source = before_->toPlainText();
        readSelection();
        emit sourceEdited();
    });
    // Select all with the caret already at the end, or a selection collapsed onto its start,
    // leaves the caret where it was.
    for (const auto signal : {&QPlainTextEdit::cursorPositionChanged, &QPlainTextEdit::selectionChanged}) {
        connect(before_, signal, this, [this] {
            readSelection();
            emit selectionChanged();
        });
    }

    PanelSettings& settings = state_.settings;
    const auto setting = [this](auto* control, auto signal, PanelSetting which, auto apply) {
        connect(control, signal, this, [this, which, apply](const auto& value) {
            apply(value);
            emit settingChanged(which);
        });
    };
    setting(language_, &QComboBox::currentIndexChanged, PanelSetting::language, [&settings](int index) {
        settings.chinese = index == 1;
        InterfaceLanguage::use(settings.chinese ? InterfaceLanguage::traditionalChinese : QString());
    });
    setting(mode_, &QComboBox::currentIndexChanged, PanelSetting::mode,
            [&settings](int index) { settings.modeIndex = index; });
    setting(speechEngine_, &QComboBox::currentIndexChanged, PanelSetting::speechEngine,
            [&settings](int index) { settings.dictation = index == 1; });
    setting(shortcutChoice_, &QComboBox::currentIndexChanged, PanelSetting::shortcut,
            [&settings](int index) { settings.shortcutIndex = index; });
    setting(autoProcess_, &QCheckBox::toggled, PanelSetting::autoProcess,
            [&settings](bool on) { settings.autoProcess = on; });
    setting(autoInsert_, &QCheckBox::toggled, PanelSetting::autoInsert,
            [&settings](bool on) { settings.autoInsert = on; });
    setting(convertWhileSpeaking_, &QCheckBox::toggled, PanelSetting::convertWhileSpeaking,
            [&settings](bool on) { settings.convertWhileSpeaking = on; });
    setting(hongKongCharacters_, &QCheckBox::toggled, PanelSetting::hongKongCharacters,
            [&settings](bool on) { settings.hongKongCharacters = on; });
    setting(vocabulary_, &QLineEdit::textChanged, PanelSetting::vocabulary,
            [&settings](const QString& text) { settings.vocabulary = text; });
    connect(window_.get(), &VoicePanel::moved, this, [this] { emit settingChanged(PanelSetting::windowFrame); });
    window_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window_.get(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { emit menuRequested(window_->mapToGlobal(at)); });

    checkUpdates_->setEnabled(false);
    connect(checkUpdatesButton_, &QPushButton::clicked, checkUpdates_.get(), &QAction::trigger);
    connect(checkUpdates_.get(), &QAction::changed, this, [this] {
        checkUpdatesButton_->setEnabled(checkUpdates_->isEnabled());
        checkUpdatesButton_->setText(checkUpdates_->text());
        checkUpdatesButton_->setToolTip(checkUpdates_->toolTip());
    });
}

void FloatingPanel::setSettings(const PanelSettings& settings)
{
    language_->setCurrentIndex(settings.chinese ? 1 : 0);
    mode_->setCurrentIndex(settings.modeIndex);
    inputLanguage_->setCurrentIndex(0);
    speechEngine_->setCurrentIndex(settings.dictation ? 1 : 0);
    autoProcess_->setChecked(settings.autoProcess);
    autoInsert_->setChecked(settings.autoInsert);
    hongKongCharacters_->setChecked(settings.hongKongCharacters);
    convertWhileSpeaking_->setChecked(settings.convertWhileSpeaking);
    vocabulary_->setText(settings.vocabulary);
    shortcutChoice_->setCurrentIndex(settings.shortcutIndex);
}

void FloatingPanel::setSource(const QString& text, TextRange selection)
{
    const QSignalBlocker quiet(before_);
    before_->setPlainText(text);
    const int size = static_cast<int>(before_->toPlainText().size());
    QTextCursor cursor = before_->textCursor();
    cursor.setPosition(std::clamp(static_cast<int>(selection.location), 0, size));
    cursor.setPosition(std::clamp(static_cast<int>(selection.end()), 0, size), QTextCursor::KeepAnchor);
    before_->setTextCursor(cursor);
    state_.source = before_->toPlainText();
    readSelection();
}

void FloatingPanel::setResult(const QString& text, bool copyable)
{
    if (text != after_->toPlainText() || text.isEmpty()) {
        after_->setPlainText(text);
    }
    state_.result = after_->toPlainText();
    state_.resultCopyable = copyable;
    copyResult_->setEnabled(copyable);
}

void FloatingPanel::setStatus(const QString& text, const std::optional<QString>& modelsDetails)
{
    status_->setText(text);
    if (modelsDetails) {
        status_->setAction(QString::fromStdString(ModelAdvice::openModelsAction()), *modelsDetails);
    }
    state_.status = status_->text();
    modelsLink_->setOffered(modelsDetails.has_value());
    state_.statusOffersModels = modelsDetails.has_value();
}

void FloatingPanel::appendStatus(const QString& text, const std::optional<QStringList>& toolTipLines)
{
    status_->append(text);
    state_.status = status_->text();
    if (toolTipLines) {
        status_->setToolTip(status_->text() + QLatin1Char('\n') + toolTipLines->join(QLatin1Char('\n')));
    }
}

void FloatingPanel::setScope(const QString& text)
{
    scope_->setText(text);
    state_.scope = text;
}

void FloatingPanel::setSpeechInfo(const QString& text, bool hintsShown, const std::array<QString, 2>& engineTitles)
{
    for (int engine = 0; engine < static_cast<int>(engineTitles.size()); ++engine) {
        if (!engineTitles[engine].isEmpty()) {
            speechEngine_->setItemText(engine, engineTitles[engine]);
        }
    }
    vocabularyRow_->setVisible(hintsShown);
    speechInfo_->setText(text);
    updateSettingsLayout();
}

void FloatingPanel::setShortcutInfo(const QString& text, bool permissionNeeded)
{
    shortcutPermission_->setVisible(permissionNeeded);
    shortcutInfo_->setText(text);
    updateSettingsLayout();
}

void FloatingPanel::localize(const QString& version)
{
    localizeLabels(version);
    localizeFloatingInterface();
    setActivity(state_.activity);
    updateSettingsLayout();
}

void FloatingPanel::hideSettings()
{
    settingsPopover_->hide();
}

void FloatingPanel::present()
{
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void FloatingPanel::copyText(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void FloatingPanel::readSelection()
{
    const QTextCursor cursor = before_->textCursor();
    state_.selection = {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

} // namespace kivo
