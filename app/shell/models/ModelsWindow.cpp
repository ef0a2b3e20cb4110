#include "app/shell/models/ModelsWindow.h"

#include "app/shell/Localization.h"
#include "app/shell/models/MachineSpeedProbe.h"
#include "app/shell/models/ModelRecommendation.h"
#include "app/shell/models/ModelStore.h"
#include "app/shell/models/ModelText.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace kivo {
namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

std::uint64_t partialBytes(ModelRole role)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(ModelStore::partial(role), error);
    return error ? 0 : size;
}

QLabel* wrapping(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

ModelsWindow::ModelsWindow(bool chinese, std::string catalogueSource, QWidget* parent)
    : QWidget(parent, Qt::Window), chinese_(chinese),
      catalogueSource_(catalogueSource.empty() ? ModelCatalogue::configuredSource() : std::move(catalogueSource))
{
    confirm = [this](const QString& question) {
        return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::Cancel,
                                     QMessageBox::Cancel)
               == QMessageBox::Yes;
    };
    measure = [](bool measureAgain, std::stop_token stop) { return MachineSpeedProbe::obtain(measureAgain, {}, stop); };
    chooseFile = [this](ModelRole role) {
        return QFileDialog::getOpenFileName(
            this, tr("選擇模型檔案", "Choose a model file"), QString(),
            role == ModelRole::language ? tr("GGUF 模型 (*.gguf);;所有檔案 (*)", "GGUF models (*.gguf);;All files (*)")
                                        : tr("whisper ggml 模型 (*.bin);;所有檔案 (*)",
                                             "whisper ggml models (*.bin);;All files (*)"));
    };
    build();
    localize();
    loadCatalogue();
    refresh();
    watcher_ = new QFileSystemWatcher(this);
    // A download or a copy changes the folder several times; one look after it settles.
    folderChanged_ = new QTimer(this);
    folderChanged_->setSingleShot(true);
    folderChanged_->setInterval(250);
    connect(folderChanged_, &QTimer::timeout, this, [this] {
        watchFolder();
        refresh();
    });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, folderChanged_, qOverload<>(&QTimer::start));
    watchFolder();
}

void ModelsWindow::watchFolder()
{
    std::filesystem::path folder = ModelStore::folder();
    std::error_code error;
    while (!folder.empty() && !std::filesystem::is_directory(folder, error) && folder != folder.parent_path()) {
        folder = folder.parent_path();
    }
    const QString path = text(folder.string());
    if (folder.empty() || watcher_->directories() == QStringList{path}) {
        return;
    }
    if (!watcher_->directories().isEmpty()) {
        watcher_->removePaths(watcher_->directories());
    }
    watcher_->addPath(path);
}

// The tasks are children: each stops and joins its worker when it is deleted, and what it
// had queued for the window is dropped with it.
ModelsWindow::~ModelsWindow() = default;

QString ModelsWindow::tr(const char* chineseText, const char* englishText) const
{
    return Localization::tr(chinese_, chineseText, englishText);
}

void ModelsWindow::build()
{
    setObjectName(QStringLiteral("ModelsWindow"));
    auto* layout = new QVBoxLayout(this);
    for (const ModelRole role : ModelRoles::allCases) {
        Section& s = section(role);
        s.box = new QGroupBox(this);
        auto* rows = new QVBoxLayout(s.box);
        s.installed = wrapping(s.box);
        rows->addWidget(s.installed);
        auto* choiceRow = new QHBoxLayout;
        s.choice = new QComboBox(s.box);
        s.choice->setMinimumWidth(360);
        s.download = new QPushButton(s.box);
        choiceRow->addWidget(s.choice, 1);
        choiceRow->addWidget(s.download);
        rows->addLayout(choiceRow);
        s.pick = wrapping(s.box);
        rows->addWidget(s.pick);
        auto* progressRow = new QHBoxLayout;
        s.bar = new QProgressBar(s.box);
        s.bar->setRange(0, 100);
        s.bar->setValue(0);
        s.cancel = new QPushButton(s.box);
        progressRow->addWidget(s.bar, 1);
        progressRow->addWidget(s.cancel);
        rows->addLayout(progressRow);
        s.progress = wrapping(s.box);
        rows->addWidget(s.progress);
        auto* fileRow = new QHBoxLayout;
        s.importFile = new QPushButton(s.box);
        s.remove = new QPushButton(s.box);
        fileRow->addWidget(s.importFile);
        fileRow->addStretch(1);
        fileRow->addWidget(s.remove);
        rows->addLayout(fileRow);
        layout->addWidget(s.box);

        s.task = new ModelTask(this);
        s.task->onProgress = [this, role](const ModelInstaller::Progress& progress) { showProgress(role, progress); };
        s.task->onFinished = [this, role](const auto& result, const auto& failure) { finish(role, result, failure); };
        s.inspect = new ModelTask(this);
        s.inspect->onFinished = [this, role](const auto& result, const auto& failure) {
            Section& current = section(role);
            if (result) {
                installedText_[index(role)] = {ModelText::installed(result->file, result->report, false),
                                               ModelText::installed(result->file, result->report, true)};
            } else if (failure && failure->kind() == ModelError::Case::notInstalled) {
                installedText_[index(role)] = {ModelText::notInstalled(role, false), ModelText::notInstalled(role, true)};
            } else if (failure) {
                const auto file = ModelStore::installed(role);
                const std::string path = file ? file->string() + " · " : std::string();
                installedText_[index(role)] = {path + failure->message(false), path + failure->message(true)};
            }
            current.hasFile = ModelStore::installed(role).has_value();
            localize();
            updateButtons(role);
        };
        connect(s.choice, &QComboBox::currentIndexChanged, this, [this, role] { updatePick(role); });
        connect(s.download, &QPushButton::clicked, this, [this, role] { startDownload(role); });
        connect(s.cancel, &QPushButton::clicked, this, [this, role] { section(role).task->cancel(); });
        connect(s.importFile, &QPushButton::clicked, this, [this, role] {
            const QString file = chooseFile ? chooseFile(role) : QString();
            if (!file.isEmpty()) {
                startImport(role, file);
            }
        });
        connect(s.remove, &QPushButton::clicked, this, [this, role] { removeModel(role); });
    }
    message = wrapping(this);
    layout->addWidget(message);
    source = wrapping(this);
    QFont small = source->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    source->setFont(small);
    layout->addWidget(source);
    speed = wrapping(this);
    speed->setFont(small);
    layout->addWidget(speed);
    resize(560, sizeHint().height());
}

void ModelsWindow::setChinese(bool chinese)
{
    chinese_ = chinese;
    localize();
}

void ModelsWindow::localize()
{
    setWindowTitle(tr("模型", "Models"));
    for (const ModelRole role : ModelRoles::allCases) {
        Section& s = section(role);
        s.box->setTitle(text(ModelText::roleTitle(role, chinese_)));
        const auto& installed = installedText_[index(role)];
        s.installed->setText(installed.first.empty() ? tr("正在檢查已安裝的檔案…", "Checking the installed file…")
                                                     : text(chinese_ ? installed.second : installed.first));
        s.download->setText(tr("下載", "Download"));
        s.cancel->setText(tr("取消", "Cancel"));
        s.importFile->setText(tr("使用磁碟上的檔案…", "Use a file on disk…"));
        s.remove->setText(tr("刪除…", "Remove…"));
        s.download->setAccessibleName(text(ModelText::roleTitle(role, chinese_)) + QStringLiteral(" ") + s.download->text());
        if (lastProgress_[index(role)]) {
            s.progress->setText(text(ModelText::progress(*lastProgress_[index(role)], chinese_)));
        }
        updatePick(role);
    }
    fillChoices();
    message->setText(text(chinese_ ? message_.second : message_.first));
    source->setText(tr("模型目錄：", "Catalogue: ")
                    + (catalogueSource_.empty() ? tr("內置", "built in") : text(catalogueSource_))
                    + tr("　·　安裝到 ", " · installs into ") + text(ModelStore::folder().string()));
    showSpeed();
    fitHeight();
}

void ModelsWindow::fitHeight()
{
    layout()->activate();
    const int needed = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width()) : sizeHint().height();
    setMinimumHeight(needed);
    if (height() < needed) {
        resize(width(), needed);
    }
}

void ModelsWindow::loadCatalogue()
{
    // A mirror's catalogue comes over the network: read it on a worker.
    catalogueThread_ = std::jthread([this, source = catalogueSource_] {
        std::optional<ModelCatalogue> loaded;
        std::optional<ModelError> failure;
        try {
            loaded = ModelCatalogue::load(source);
        } catch (const ModelError& error) {
            failure = error;
        }
        QMetaObject::invokeMethod(
            this,
            [this, loaded, failure] {
                catalogue_ = loaded;
                catalogueFailure_ = failure;
                if (failure) {
                    showFailure(*failure);
                }
                fillChoices();
            },
            Qt::QueuedConnection);
    });
}

void ModelsWindow::fillChoices()
{
    for (const ModelRole role : ModelRoles::allCases) {
        Section& s = section(role);
        const int selected = std::max(0, s.choice->currentIndex());
        const QSignalBlocker block(s.choice);
        s.choice->clear();
        if (catalogue_) {
            std::optional<ModelRecommendation::Choice> chosen;
            if (speed_) {
                const auto recommendation = ModelRecommendation::choose(*catalogue_, *speed_);
                chosen = role == ModelRole::speech ? recommendation.speech : recommendation.language;
            }
            for (const auto* entry : catalogue_->forRole(role)) {
                std::string line = ModelText::entryLine(*entry, chinese_);
                if (chosen && chosen->entry == entry) {
                    line += " · " + ModelRecommendation::label(role, chosen->figure, chinese_);
                }
                s.choice->addItem(text(line), text(entry->name));
            }
        } else {
            s.choice->addItem(catalogueFailure_ ? tr("沒有模型目錄", "No catalogue")
                                                : tr("正在讀取模型目錄…", "Reading the catalogue…"));
        }
        s.choice->setCurrentIndex(std::min(selected, s.choice->count() - 1));
        updatePick(role);
        updateButtons(role);
    }
}

void ModelsWindow::measureThisComputer(bool measureAgain)
{
    if (measuring_ || !measure) {
        return;
    }
    measuring_ = true;
    speedFailure_.reset();
    showSpeed();
    measureThread_ = std::jthread([this, measureAgain, run = measure](std::stop_token stop) {
        std::optional<MachineSpeed> measured;
        std::optional<std::string> failure;
        try {
            measured = run(measureAgain, stop);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (stop.stop_requested()) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, measured, failure] {
                measuring_ = false;
                speed_ = measured;
                speedFailure_ = failure;
                fillChoices();
                // Preselect what this computer runs best; the user's own pick comes after.
                if (speed_ && catalogue_) {
                    const auto recommendation = ModelRecommendation::choose(*catalogue_, *speed_);
                    for (const ModelRole role : ModelRoles::allCases) {
                        const auto& chosen = role == ModelRole::speech ? recommendation.speech : recommendation.language;
                        if (chosen) {
                            Section& s = section(role);
                            s.choice->setCurrentIndex(s.choice->findData(text(chosen->entry->name)));
                        }
                    }
                }
                showSpeed();
                fitHeight();
            },
            Qt::QueuedConnection);
    });
}

void ModelsWindow::showSpeed()
{
    if (measuring_) {
        speed->setText(tr("正在量度這部電腦的速度（低優先次序，約一分鐘）…",
                          "Measuring this computer's speed (at idle priority, about a minute)…"));
    } else if (speedFailure_) {
        speed->setText(tr("無法量度這部電腦：", "Could not measure this computer: ") + text(*speedFailure_));
    } else if (speed_) {
        QStringList figures;
        for (const auto& [shape, figure] : speed_->speechSecondsPerSecond) {
            figures << QStringLiteral("%1 %2").arg(text(shape)).arg(figure, 0, 'f', 2);
        }
        speed->setText(tr("這部電腦（", "This computer (") + text(speed_->processor)
                       + tr("）每秒錄音的編碼時間（秒）：", "), encoder seconds per second of audio: ")
                       + figures.join(QStringLiteral(", "))
                       + tr("；即時辨識上限 ", "; live speech needs at most ")
                       + QString::number(ModelRecommendation::liveSpeechBudget, 'f', 2)
                       + (speed_->measuredWhileBusy()
                              ? tr("。量度時電腦正忙（平均負載 %1），數字偏慢，不會保存。",
                                   ". Measured while the computer was busy (load average %1): too slow, not kept.")
                                    .arg(speed_->loadAverage, 0, 'f', 1)
                              : QString()));
    } else {
        speed->clear();
    }
}

void ModelsWindow::updatePick(ModelRole role)
{
    Section& s = section(role);
    const ModelCatalogue::Entry* entry =
        catalogue_ ? catalogue_->find(s.choice->currentData().toString().toStdString()) : nullptr;
    s.pick->setText(entry ? text(chinese_ ? entry->pickChinese : entry->pick) : QString());
}

void ModelsWindow::updateButtons(ModelRole role)
{
    Section& s = section(role);
    const bool busy = s.task->running();
    s.download->setEnabled(!busy && catalogue_ && s.choice->count() > 0);
    s.choice->setEnabled(!busy && catalogue_.has_value());
    s.cancel->setEnabled(busy);
    s.importFile->setEnabled(!busy);
    s.remove->setEnabled(!busy && s.hasFile);
}

void ModelsWindow::refresh()
{
    for (const ModelRole role : ModelRoles::allCases) {
        Section& s = section(role);
        s.hasFile = ModelStore::installed(role).has_value();
        s.inspect->start([role](const ModelInstaller::ProgressHandler&, const std::stop_token&) {
            return ModelInstaller::verifyInstalled(role);
        });
        updateButtons(role);
    }
}

void ModelsWindow::showMessage(const std::string& english, const std::string& chinese)
{
    message_ = {english, chinese};
    message->setText(text(chinese_ ? chinese : english));
    fitHeight();
}

void ModelsWindow::showFailure(const ModelError& failure)
{
    showMessage(failure.message(false), failure.message(true));
}

void ModelsWindow::startDownload(ModelRole role)
{
    Section& s = section(role);
    const ModelCatalogue::Entry* found =
        catalogue_ ? catalogue_->find(s.choice->currentData().toString().toStdString()) : nullptr;
    if (!found) {
        return;
    }
    const ModelCatalogue::Entry entry = *found;
    if (!s.task->start([entry](const ModelInstaller::ProgressHandler& progress, const std::stop_token& stop) {
            return ModelInstaller::download(entry, progress, stop);
        })) {
        return;
    }
    lastProgress_[index(role)].reset();
    s.bar->setRange(0, 100);
    s.bar->setValue(0);
    s.progress->setText(tr("正在連線…", "Connecting…"));
    showMessage("Downloading " + entry.title + " from " + entry.url + ".",
                "正在從 " + entry.url + " 下載 " + entry.title + "。");
    updateButtons(role);
}

void ModelsWindow::startImport(ModelRole role, const QString& file)
{
    Section& s = section(role);
    const std::filesystem::path path = file.toStdString();
    if (!s.task->start([path, role](const ModelInstaller::ProgressHandler&, const std::stop_token& stop) {
            return ModelInstaller::importFile(path, role, stop);
        })) {
        return;
    }
    lastProgress_[index(role)].reset();
    s.bar->setRange(0, 0);
    s.progress->setText(tr("正在複製及檢查檔案…", "Copying and checking the file…"));
    showMessage("Importing " + path.string() + ".", "正在匯入 " + path.string() + "。");
    updateButtons(role);
}

void ModelsWindow::removeModel(ModelRole role)
{
    const QString file = text(ModelStore::target(role).string());
    const QString question = role == ModelRole::speech
                                 ? tr("要刪除 %1 嗎？在安裝另一個語音模型前，錄音將無法辨識。",
                                      "Remove %1? Recordings cannot be recognised until another speech model is installed.")
                                 : tr("要刪除 %1 嗎？在安裝另一個語言模型前，文字將無法轉換。",
                                      "Remove %1? Text cannot be converted until another language model is installed.");
    if (confirm && !confirm(question.arg(file))) {
        return;
    }
    try {
        ModelInstaller::remove(role);
        showMessage(ModelText::removed(role, false), ModelText::removed(role, true));
        section(role).bar->setValue(0);
        section(role).progress->clear();
        lastProgress_[index(role)].reset();
        if (onChanged) {
            onChanged(role);
        }
    } catch (const ModelError& failure) {
        showFailure(failure);
    }
    refresh();
}

void ModelsWindow::showProgress(ModelRole role, const ModelInstaller::Progress& progress)
{
    Section& s = section(role);
    lastProgress_[index(role)] = progress;
    if (progress.phase == ModelInstaller::Progress::Phase::verifying) {
        s.bar->setRange(0, 100);
        s.bar->setValue(100);
    } else if (progress.total > 0) {
        s.bar->setRange(0, 100);
        s.bar->setValue(static_cast<int>(progress.received * 100 / progress.total));
    } else {
        s.bar->setRange(0, 0);
    }
    s.progress->setText(text(ModelText::progress(progress, chinese_)));
}

void ModelsWindow::finish(ModelRole role, const std::optional<ModelInstaller::Result>& result,
                          const std::optional<ModelError>& failure)
{
    Section& s = section(role);
    s.bar->setRange(0, 100);
    if (result) {
        s.bar->setValue(100);
        std::string english = ModelText::done(*result, false);
        std::string chinese = ModelText::done(*result, true);
        if (result->restartedFromZero) {
            english = "The server does not resume downloads, so the file came whole again. " + english;
            chinese = "伺服器不支援續傳，所以重新下載了整個檔案。" + chinese;
        }
        s.progress->clear();
        showMessage(english, chinese);
        if (onChanged) {
            onChanged(role);
        }
    } else if (failure) {
        // What was received is kept in the partial file, and the next download continues from
        // it: the bar and the line say so instead of dropping to nothing.
        const auto& last = lastProgress_[index(role)];
        if (last && last->received > 0 && partialBytes(role) > 0) {
            if (last->total > 0) {
                s.bar->setValue(static_cast<int>(std::min(last->received, last->total) * 100 / last->total));
            }
            s.progress->setText(text(ModelText::kept(*last, chinese_)));
        } else {
            s.progress->clear();
            s.bar->setValue(0);
        }
        showFailure(*failure);
    }
    lastProgress_[index(role)].reset();
    updateButtons(role);
    refresh();
}

} // namespace kivo
