#include "app/shell/models/ModelsWindow.h"

#include "app/shell/InterfaceLanguage.h"

#include "app/models/MachineSpeedProbe.h"
#include "app/models/ModelRecommendation.h"
#include "app/models/ModelStore.h"
#include "app/models/ModelText.h"

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

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

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

ModelsWindow::ModelsWindow(std::string catalogueSource, QWidget* parent)
    : QWidget(parent, Qt::Window),
      catalogueSource_(catalogueSource.empty() ? ModelCatalogue::configuredSource() : std::move(catalogueSource))
{
    confirm = [this](const QString& question) {
        return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::Cancel,
                                     QMessageBox::Cancel) == QMessageBox::Yes;
    };
    measure = [](bool measureAgain, std::stop_token stop) { return MachineSpeedProbe::obtain(measureAgain, {}, stop); };
    chooseFile = [this](ModelRole role) {
        return QFileDialog::getOpenFileName(this, tr("Choose a model file"), QString(),
                                            role == ModelRole::language
                                                ? tr("GGUF models (*.gguf);;All files (*)")
                                                : tr("whisper ggml models (*.bin);;All files (*)"));
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
                installedText_[index(role)] = [file = result->file, report = result->report] {
                    return ModelText::installed(file, chinese() ? report.chinese : report.english);
                };
            } else if (failure && failure->kind() == ModelError::Case::notInstalled) {
                installedText_[index(role)] = [role] { return ModelText::notInstalled(role); };
            } else if (failure) {
                const auto file = ModelStore::installed(role);
                const std::string path = file ? file->string() + " · " : std::string();
                installedText_[index(role)] = [path, failure = *failure] { return path + failure.message(chinese()); };
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

bool ModelsWindow::chinese()
{
    return InterfaceLanguage::current() == InterfaceLanguage::traditionalChinese;
}

void ModelsWindow::localize()
{
    setWindowTitle(tr("Models"));
    for (const ModelRole role : ModelRoles::allCases) {
        Section& s = section(role);
        s.box->setTitle(text(ModelText::roleTitle(role)));
        const auto& installed = installedText_[index(role)];
        s.installed->setText(installed ? text(installed()) : tr("Checking the installed file…"));
        s.download->setText(tr("Download"));
        s.cancel->setText(tr("Cancel"));
        s.importFile->setText(tr("Use a file on disk…"));
        s.remove->setText(tr("Remove…"));
        s.download->setAccessibleName(text(ModelText::roleTitle(role)) + QStringLiteral(" ") + s.download->text());
        if (lastProgress_[index(role)]) {
            s.progress->setText(text(ModelText::progress(*lastProgress_[index(role)])));
        }
        updatePick(role);
    }
    fillChoices();
    message->setText(message_ ? text(message_()) : QString());
    source->setText(tr("Catalogue: %1 · installs into %2")
                        .arg(catalogueSource_.empty() ? tr("built in") : text(catalogueSource_),
                             text(ModelStore::folder().string())));
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
                std::string line = ModelText::entryLine(*entry);
                if (chosen && chosen->entry == entry) {
                    line += " · " + ModelRecommendation::label(role, chosen->figure);
                }
                s.choice->addItem(text(line), text(entry->name));
            }
        } else {
            s.choice->addItem(catalogueFailure_ ? tr("No catalogue") : tr("Reading the catalogue…"));
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
                        const auto& chosen =
                            role == ModelRole::speech ? recommendation.speech : recommendation.language;
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
        speed->setText(tr("Measuring this computer's speed (at idle priority, about a minute)…"));
    } else if (speedFailure_) {
        speed->setText(tr("Could not measure this computer: ") + text(*speedFailure_));
    } else if (speed_) {
        QStringList figures;
        for (const auto& [shape, figure] : speed_->speechSecondsPerSecond) {
            figures << QStringLiteral("%1 %2").arg(text(shape)).arg(figure, 0, 'f', 2);
        }
        speed->setText(tr("This computer (%1), encoder seconds per second of audio: %2; live speech needs at most %3")
                           .arg(text(speed_->processor), figures.join(QStringLiteral(", ")),
                                QString::number(ModelRecommendation::liveSpeechBudget, 'f', 2)) +
                       (speed_->measuredWhileBusy()
                            ? tr(". Measured while the computer was busy (load average %1): too slow, not kept.")
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
    s.pick->setText(entry ? text(chinese() ? entry->pickChinese : entry->pick) : QString());
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

void ModelsWindow::showMessage(std::function<std::string()> compose)
{
    message_ = std::move(compose);
    message->setText(text(message_()));
    fitHeight();
}

void ModelsWindow::showFailure(const ModelError& failure)
{
    showMessage([failure] { return failure.message(chinese()); });
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
    s.progress->setText(tr("Connecting…"));
    showMessage([title = entry.title, url = entry.url] {
        return tr("Downloading %1 from %2.").arg(text(title), text(url)).toStdString();
    });
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
    s.progress->setText(tr("Copying and checking the file…"));
    showMessage([path] { return tr("Importing %1.").arg(text(path.string())).toStdString(); });
    updateButtons(role);
}

void ModelsWindow::removeModel(ModelRole role)
{
    const QString file = text(ModelStore::target(role).string());
    const QString question =
        role == ModelRole::speech
            ? tr("Remove %1? Recordings cannot be recognised until another speech model is installed.")
            : tr("Remove %1? Text cannot be converted until another language model is installed.");
    if (confirm && !confirm(question.arg(file))) {
        return;
    }
    try {
        ModelInstaller::remove(role);
        showMessage([role] { return ModelText::removed(role); });
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
    s.progress->setText(text(ModelText::progress(progress)));
}

void ModelsWindow::finish(ModelRole role, const std::optional<ModelInstaller::Result>& result,
                          const std::optional<ModelError>& failure)
{
    Section& s = section(role);
    s.bar->setRange(0, 100);
    if (result) {
        s.bar->setValue(100);
        s.progress->clear();
        showMessage([done = *result] {
            const auto& report = chinese() ? done.report.chinese : done.report.english;
            const std::string installed = ModelText::done(done.file, report);
            return done.restartedFromZero ? tr("The server does not resume downloads, so the file came whole again. %1")
                                                .arg(text(installed))
                                                .toStdString()
                                          : installed;
        });
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
            s.progress->setText(text(ModelText::kept(*last)));
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
