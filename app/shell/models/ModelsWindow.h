#pragma once

#include "app/models/MachineSpeed.h"
#include "app/models/ModelCatalogue.h"
#include "app/models/ModelTask.h"

#include <QCoreApplication>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

class QComboBox;
class QFileSystemWatcher;
class QTimer;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace kivo {

// The "Models" window: what is installed at each fixed path, the catalogue, downloads with
// progress, cancel and resume, import of a local file and removal. Every slow step runs on a
// worker thread.
class ModelsWindow : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(ModelsWindow)

public:
    // One role's controls.
    struct Section {
        QGroupBox* box = nullptr;
        QLabel* installed = nullptr;
        QComboBox* choice = nullptr;
        QLabel* pick = nullptr;
        QPushButton* download = nullptr;
        QProgressBar* bar = nullptr;
        QLabel* progress = nullptr;
        QPushButton* cancel = nullptr;
        QPushButton* importFile = nullptr;
        QPushButton* remove = nullptr;
        ModelTask* task = nullptr;    // download or import
        ModelTask* inspect = nullptr; // what the runtime says about the installed file
        bool hasFile = false;
    };

    // `catalogueSource`: a URL or file; empty: the setting, else the built-in catalogue.
    explicit ModelsWindow(std::string catalogueSource = {}, QWidget* parent = nullptr);
    ~ModelsWindow() override;

    // Applies the interface language to every text again.
    void localize();
    // Reads what is installed again (after an outside change).
    void refresh();
    bool catalogueLoaded() const { return catalogue_.has_value(); }
    const ModelCatalogue* catalogue() const { return catalogue_ ? &*catalogue_ : nullptr; }

    void startDownload(ModelRole role);
    void startImport(ModelRole role, const QString& file);
    void removeModel(ModelRole role);
    // Measures this computer (or reads the cached measurement) on a worker, then marks the
    // models it runs inside the budgets as recommended and selects them.
    void measureThisComputer(bool measureAgain = false);

    Section& section(ModelRole role) { return sections_[index(role)]; }
    QLabel* message = nullptr;
    QLabel* source = nullptr;
    QLabel* speed = nullptr;

    // Seams for tests; by default a question box and a file dialog.
    std::function<bool(const QString& question)> confirm;
    std::function<QString(ModelRole role)> chooseFile;
    // Called after a model was installed or removed (the controller refreshes its status).
    std::function<void(ModelRole role)> onChanged;
    // The measurement; by default MachineSpeedProbe::obtain.
    std::function<MachineSpeed(bool measureAgain, std::stop_token stop)> measure;

private:
    static std::size_t index(ModelRole role) { return role == ModelRole::speech ? 0 : 1; }
    // Whether the texts that come in both languages (model checks, the catalogue's notes) show
    // their Chinese side.
    static bool chinese();
    void build();
    void loadCatalogue();
    void fillChoices();
    void updatePick(ModelRole role);
    void showSpeed();
    void updateButtons(ModelRole role);
    // The message is composed again whenever the interface language changes.
    void showMessage(std::function<std::string()> compose);
    // Grows the window when wrapped texts need more lines.
    void fitHeight();
    void showFailure(const ModelError& failure);
    void showProgress(ModelRole role, const ModelInstaller::Progress& progress);
    // Follows the models folder (or, until it exists, the nearest folder above it), so that
    // `Kivo --models install` or a file copied there shows at once.
    void watchFolder();
    void finish(ModelRole role, const std::optional<ModelInstaller::Result>& result,
                const std::optional<ModelError>& failure);

    std::string catalogueSource_;
    std::optional<ModelCatalogue> catalogue_;
    std::optional<ModelError> catalogueFailure_;
    std::array<Section, 2> sections_;
    std::array<std::optional<ModelInstaller::Progress>, 2> lastProgress_;
    std::array<std::function<std::string()>, 2> installedText_;
    std::function<std::string()> message_;
    std::optional<MachineSpeed> speed_;
    std::optional<std::string> speedFailure_;
    bool measuring_ = false;
    std::jthread catalogueThread_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* folderChanged_ = nullptr;
    std::jthread measureThread_;
};

} // namespace kivo
