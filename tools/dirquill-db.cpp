// dirquill-db: creates, lists and fills the workspace database the browser reads at
// start-up, so that a fresh installation or a test machine can be given one.
#include "store/CConnection.h"
#include "store/CWorkspaceStore.h"
#include "store/ComError.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

namespace {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

void printLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
}

int usage() {
    printLine(stderr,
              QStringLiteral("usage: dirquill-db create FILE | list FILE | add FILE TEXT..."));
    return kBadUsage;
}

// A connection string naming `file`, quoted so that any ';' or quote in the name stays
// part of it.
QString connectStringFor(const QString& file) {
    QString quoted = file;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QStringLiteral("Data Source=\"%1\";").arg(quoted);
}

CWorkspaceStore openStore(const QString& file) {
    auto connection = std::make_shared<CConnection>();
    connection->SetConnectionTimeout(5);
    connection->Open(connectStringFor(file));
    return CWorkspaceStore(connection);
}

int run(const QStringList& args) {
    if (args.size() < 3) {
        return usage();
    }
    const QString& command = args.at(1);
    const QString& file = args.at(2);

    if (command == QLatin1String("create") && args.size() == 3) {
        CWorkspaceStore::CreateDatabase(file);
        return 0;
    }
    if (command == QLatin1String("list") && args.size() == 3) {
        openStore(file).LoadWorkDirs([](const QString& text) { printLine(stdout, text); });
        return 0;
    }
    if (command == QLatin1String("add") && args.size() > 3) {
        const CWorkspaceStore store = openStore(file);
        for (qsizetype i = 3; i < args.size(); ++i) {
            store.AddWorkDir(args.at(i));
        }
        return 0;
    }
    return usage();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    try {
        return run(args);
    } catch (const ComError& error) {
        const QString file = args.size() > 2 ? args.at(2) : QString();
        if (error.Error() == hr::kFileExists) {
            printLine(stderr,
                      QStringLiteral("dirquill-db: %1 exists already; not touching it").arg(file));
        } else {
            printLine(stderr,
                      QStringLiteral("dirquill-db: %1: %2 (0x%3)")
                          .arg(file, error.ErrorMessage(),
                               QString::number(static_cast<quint32>(error.Error()), 16).toUpper()));
        }
        return kFailed;
    }
}
