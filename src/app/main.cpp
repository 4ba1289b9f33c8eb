#include "app/CDirquillApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(CDirquillApp::kVersion));
    theApp.InitInstance();
    return 0;
}
