#include "platform/volumes/MountCall.h"

#include "names/NameCodec.h"
#include "platform/volumes/StorageService.h"

#include <QDBusPendingCallWatcher>
#include <QMap>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace platform::volumes {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kErrorPrefix = QStringLiteral("org.freedesktop.UDisks2.Error.");

QString placeText(const QByteArray& path) {
    return names::decodeName(std::string_view(path.constData(), std::size_t(path.size())));
}

} // namespace

// The service's side of a mount: asked once per volume, whoever waits for it.
struct MountOperation : std::enable_shared_from_this<MountOperation> {
    using Outcome = MountCall::Outcome;
    using Step = void (MountOperation::*)(const QDBusMessage&);

    Volume volume;
    QDBusConnection bus{QString()};
    Outcome outcome = Outcome::Running;
    QString mountPoint;
    QString message;
    QList<QPointer<MountCall>> waiters;

    static QMap<QString, std::weak_ptr<MountOperation>>& underWay() {
        static QMap<QString, std::weak_ptr<MountOperation>> operations;
        return operations;
    }

    void start() {
        bus = storageBus();
        if (!bus.isConnected()) {
            finish(Outcome::Failed, bus.lastError().message());
            return;
        }
        ask(objectsRequest(), kObjectsTimeoutMs, &MountOperation::checked);
    }

    // Sends `request`; its reply goes to `next`. The operation lives as long as a reply
    // is awaited, whether or not anyone still waits for it.
    void ask(const QDBusMessage& request, int timeoutMs, Step next) {
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request, timeoutMs));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [self = shared_from_this(), next](QDBusPendingCallWatcher* done) {
                             done->deleteLater();
                             ((*self).*next)(done->reply());
                         });
    }

    // What the object holds now.
    void checked(const QDBusMessage& reply) {
        const std::optional<ManagedObjects> objects = objectsOfReply(reply);
        if (!objects) {
            finish(Outcome::Failed, reply.errorMessage());
            return;
        }
        const std::optional<Volume> now = volumeAt(*objects, volume.object);
        if (!now || !sameVolume(volume, *now)) {
            finish(Outcome::Gone, {});
            return;
        }
        if (!now->mountPoints.isEmpty()) {
            finish(Outcome::Mounted, placeText(now->mountPoints.first()));
            return;
        }
        QDBusMessage mount = QDBusMessage::createMethodCall(
            kService, volume.object, QStringLiteral("org.freedesktop.UDisks2.Filesystem"),
            QStringLiteral("Mount"));
        mount << QVariantMap();
        mount.setInteractiveAuthorizationAllowed(true);
        ask(mount, MountCall::kTimeoutMs, &MountOperation::mounted);
    }

    void mounted(const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage) {
            finish(Outcome::Mounted, reply.arguments().value(0).toString());
            return;
        }
        const QString name = reply.errorName();
        if (name == kErrorPrefix + "AlreadyMounted") {
            // Mounted meanwhile, by another program or a mount given up: where it is, the
            // service knows.
            message = reply.errorMessage();
            ask(objectsRequest(), kObjectsTimeoutMs, &MountOperation::lookedUp);
        } else if (name == kErrorPrefix + "NotAuthorizedDismissed") {
            finish(Outcome::Dismissed, reply.errorMessage());
        } else if (name == kErrorPrefix + "NotAuthorized" ||
                   name == kErrorPrefix + "NotAuthorizedCanObtain") {
            finish(Outcome::NotAllowed, reply.errorMessage());
        } else {
            finish(Outcome::Failed, reply.errorMessage());
        }
    }

    void lookedUp(const QDBusMessage& reply) {
        const std::optional<ManagedObjects> objects = objectsOfReply(reply);
        const std::optional<Volume> now =
            objects ? volumeAt(*objects, volume.object) : std::nullopt;
        if (now && !now->mountPoints.isEmpty()) {
            finish(Outcome::Mounted, placeText(now->mountPoints.first()));
        } else {
            finish(Outcome::Failed, message);
        }
    }

    void finish(Outcome result, QString text) {
        outcome = result;
        if (result == Outcome::Mounted) {
            mountPoint = std::move(text);
            message.clear();
        } else {
            message = std::move(text);
        }
        underWay().remove(volume.object);
        for (const QPointer<MountCall>& waiter : std::as_const(waiters)) {
            if (waiter != nullptr && waiter->running()) {
                waiter->takeOutcome(*this);
                emit waiter->finished();
            }
        }
        waiters.clear();
    }
};

std::unique_ptr<MountCall> MountCall::mount(const Volume& volume) {
    std::shared_ptr<MountOperation> operation =
        MountOperation::underWay().value(volume.object).lock();
    if (!operation || operation->outcome != Outcome::Running) {
        operation = std::make_shared<MountOperation>();
        operation->volume = volume;
        MountOperation::underWay().insert(volume.object, operation);
        operation->start();
    }
    std::unique_ptr<MountCall> call(new MountCall);
    call->operation_ = operation;
    if (operation->outcome == Outcome::Running) {
        operation->waiters.append(call.get());
    } else {
        // Ended before anything was sent: told from the event loop, as an answer is, so
        // that the waiter connects first.
        QTimer::singleShot(0, call.get(), [waiter = call.get(), operation] {
            if (waiter->running()) {
                waiter->takeOutcome(*operation);
                emit waiter->finished();
            }
        });
    }
    return call;
}

MountCall::~MountCall() = default;

void MountCall::abandon() {
    if (running()) {
        outcome_ = Outcome::Abandoned;
    }
}

void MountCall::takeOutcome(const MountOperation& operation) {
    outcome_ = operation.outcome;
    mountPoint_ = operation.mountPoint;
    message_ = operation.message;
}

} // namespace platform::volumes
