#include "platform/updates/UpdateService.h"

#include "platform/updates/Appcast.h"
#include "platform/updates/ArchiveTools.h"
#include "platform/updates/BundleInstaller.h"
#include "platform/updates/HttpClient.h"
#include "platform/updates/UpdateSignature.h"

#include <QPointer>

#include <system_error>

namespace kivo {
namespace {

constexpr std::uint64_t feedLimit = 1 << 20;
constexpr std::uint64_t archiveLimit = std::uint64_t{1} << 30;

void removeQuietly(const std::filesystem::path& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

} // namespace

UpdateService::UpdateService(Configuration configuration, Delegate delegate, QObject* parent)
    : QObject(parent), configuration_(std::move(configuration)), delegate_(std::move(delegate))
{
}

UpdateService::~UpdateService()
{
    worker_ = {}; // stops and joins a running check before the staging folder goes
    if (prepared_) {
        removeQuietly(prepared_->staging);
    }
}

void UpdateService::startUpdater()
{
    started_ = true;
    setCanCheck(true);
}

void UpdateService::observeCanCheckForUpdates(std::function<void(bool)> observer)
{
    observer_ = std::move(observer);
    if (observer_) {
        observer_(canCheck_);
    }
}

void UpdateService::setCanCheck(bool value)
{
    if (canCheck_ == value) {
        return;
    }
    canCheck_ = value;
    if (observer_) {
        observer_(canCheck_);
    }
}

void UpdateService::checkForUpdates()
{
    if (!started_ || !canCheck_) {
        return;
    }
    if (delegate_.mayPerform) {
        try {
            delegate_.mayPerform();
        } catch (const UpdateError& refusal) {
            if (delegate_.didAbort) {
                delegate_.didAbort(refusal);
            }
            return;
        }
    }
    setCanCheck(false);
    if (prepared_) {
        removeQuietly(prepared_->staging);
        prepared_.reset();
    }
    worker_ = std::jthread([this, configuration = configuration_](std::stop_token stop) {
        try {
            const auto feed = HttpClient::fetch(configuration.feedUrl, feedLimit, UpdateError::feedFailed, stop);
            const auto item = Appcast::newest(Appcast::parse(feed), configuration.currentVersion);
            if (!item) {
                throw UpdateError(UpdateError::noUpdateFound, "No update is available.");
            }
            const auto limit = item->length > 0 ? item->length : archiveLimit;
            const auto archive = HttpClient::fetch(item->url, limit, UpdateError::downloadFailed, stop);
            if (item->length > 0 && archive.size() != item->length) {
                throw UpdateError(UpdateError::downloadFailed, "The update archive is incomplete.");
            }
            // Nothing of an unsigned or tampered archive is ever unpacked.
            if (!UpdateSignature::verify(archive, item->signature, configuration.publicKey)) {
                throw UpdateError(UpdateError::signatureInvalid, "The update's signature is not valid.");
            }
            Prepared update{BundleInstaller::makeStaging(configuration.bundle), {}};
            try {
                ArchiveTools::unpack(archive, update.staging);
                update.bundle = BundleInstaller::stagedBundle(update.staging, configuration.identifier);
            } catch (...) {
                removeQuietly(update.staging);
                throw;
            }
            QMetaObject::invokeMethod(
                this, [this, update] { prepared(update); }, Qt::QueuedConnection);
        } catch (const UpdateError& error) {
            QMetaObject::invokeMethod(
                this, [this, error] { failed(error); }, Qt::QueuedConnection);
        } catch (const std::exception& error) {
            const UpdateError wrapped(UpdateError::installFailed, error.what());
            QMetaObject::invokeMethod(
                this, [this, wrapped] { failed(wrapped); }, Qt::QueuedConnection);
        }
    });
}

void UpdateService::failed(const UpdateError& error)
{
    setCanCheck(true);
    if (delegate_.didAbort) {
        delegate_.didAbort(error);
    }
}

void UpdateService::prepared(Prepared update)
{
    prepared_ = std::move(update);
    QPointer<UpdateService> weak(this);
    auto continuation = [weak] {
        if (weak) {
            weak->install();
        }
    };
    if (!delegate_.shouldPostponeRelaunch || !delegate_.shouldPostponeRelaunch(continuation)) {
        install();
    }
}

void UpdateService::install()
{
    if (!prepared_) {
        return;
    }
    const Prepared update = *prepared_;
    prepared_.reset();
    try {
        BundleInstaller::swap(configuration_.bundle, update.bundle);
    } catch (const UpdateError& error) {
        removeQuietly(update.staging);
        failed(error);
        return;
    }
    removeQuietly(update.staging);
    if (configuration_.relaunch) {
        configuration_.relaunch(configuration_.bundle);
    }
}

} // namespace kivo
