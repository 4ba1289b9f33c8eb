#include "platform/volumes/StorageService.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace platform::volumes {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kConnectionName = QStringLiteral("dirquill-storage");

// A D-Bus value as plain values: byte strings as QByteArray, arrays and structures as
// QVariantList, dictionaries as QVariantMap, object paths as text.
QVariant plain(const QVariant& value);

QVariant plainArgument(const QDBusArgument& argument) {
    switch (argument.currentType()) {
    case QDBusArgument::ArrayType: {
        if (argument.currentSignature() == QLatin1String("ay")) {
            QByteArray bytes;
            argument >> bytes;
            return bytes;
        }
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd()) {
            list.append(plain(argument.asVariant()));
        }
        argument.endArray();
        return list;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QString key = plain(argument.asVariant()).toString();
            map.insert(key, plain(argument.asVariant()));
            argument.endMapEntry();
        }
        argument.endMap();
        return map;
    }
    case QDBusArgument::StructureType: {
        QVariantList fields;
        argument.beginStructure();
        while (!argument.atEnd()) {
            fields.append(plain(argument.asVariant()));
        }
        argument.endStructure();
        return fields;
    }
    default:
        return plain(argument.asVariant());
    }
}

QVariant plain(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        return plainArgument(value.value<QDBusArgument>());
    }
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        return plain(value.value<QDBusVariant>().variant());
    }
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value;
}

// One GetManagedObjects, answered on a thread of its own.
struct Request {
    std::mutex mutex;
    std::condition_variable answeredCondition;
    bool answered = false;
    std::optional<ManagedObjects> answer;
    std::thread thread;

    std::chrono::steady_clock::time_point answeredAt;

    void run() {
        std::optional<ManagedObjects> objects;
        const QDBusConnection bus = storageBus();
        if (bus.isConnected()) {
            objects = objectsOfReply(bus.call(objectsRequest(), QDBus::Block, kObjectsTimeoutMs));
        }
        const std::lock_guard lock(mutex);
        answer = std::move(objects);
        answered = true;
        answeredAt = std::chrono::steady_clock::now();
        answeredCondition.notify_all();
    }

    bool stale() {
        const std::lock_guard lock(mutex);
        return answered && std::chrono::steady_clock::now() - answeredAt >
                               std::chrono::milliseconds(kAnswerFreshMs);
    }
};

// The request under way. Its thread is joined when its answer is taken and when the
// program ends; it never takes longer than kObjectsTimeoutMs.
struct Requests {
    std::shared_ptr<Request> current;
    void finish() {
        if (current && current->thread.joinable()) {
            current->thread.join();
        }
        current.reset();
    }
    // At the program's end the program has already waited (finishRequests); a request
    // still open here belongs to a process whose Qt is gone, which may never end its
    // call, so it is waited for at most its timeout and then left to the exit.
    ~Requests() {
        if (!current || !current->thread.joinable()) {
            return;
        }
        std::unique_lock lock(current->mutex);
        if (current->answeredCondition.wait_for(lock, std::chrono::milliseconds(kObjectsTimeoutMs),
                                                [this] { return current->answered; })) {
            lock.unlock();
            current->thread.join();
        } else {
            lock.unlock();
            current->thread.detach();
        }
    }
};

Requests& requests() {
    static Requests all;
    return all;
}

} // namespace

QDBusConnection storageBus() {
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SystemBus, kConnectionName);
    if (!bus.isConnected()) {
        // A failed connection stays registered under its name; the next attempt must
        // find none.
        QDBusConnection::disconnectFromBus(kConnectionName);
    }
    return bus;
}

QDBusMessage objectsRequest() {
    return QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2"),
                                          QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                          QStringLiteral("GetManagedObjects"));
}

std::optional<ManagedObjects> objectsOfReply(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return std::nullopt;
    }
    return objectsFromMap(plain(reply.arguments().first()).toMap());
}

void requestObjects() {
    std::shared_ptr<Request>& current = requests().current;
    if (current) {
        return;
    }
    current = std::make_shared<Request>();
    // The thread holds its request, which outlives the program's end should it be left.
    current->thread = std::thread([request = current] { request->run(); });
}

std::optional<ManagedObjects> takeObjects(int waitMs) {
    std::shared_ptr<Request>& current = requests().current;
    if (current && current->stale()) {
        requests().finish();
    }
    requestObjects();
    std::optional<ManagedObjects> answer;
    {
        std::unique_lock lock(current->mutex);
        if (!current->answeredCondition.wait_for(lock, std::chrono::milliseconds(waitMs),
                                                 [&] { return current->answered; })) {
            return std::nullopt;
        }
        answer = std::move(current->answer);
    }
    current->thread.join();
    current.reset();
    return answer;
}

void finishRequests() {
    requests().finish();
}

} // namespace platform::volumes
