#pragma once

#include "store/CConnection.h"

#include <QString>

class QWidget;

// The application object: owns the connection to the workspace database for the whole
// run and starts the windows in their order.
class CDirquillApp {
public:
    CDirquillApp();
    ~CDirquillApp();
    CDirquillApp(const CDirquillApp&) = delete;
    CDirquillApp& operator=(const CDirquillApp&) = delete;

    // Opens the database, asks for the user's agreement and runs the main window.
    // Always returns false: the program ends when the main window closes.
    bool InitInstance();

    ConnectionPtr m_pConnection;
    QString m_strConnect;
    QWidget* m_pMainWnd = nullptr;

    static constexpr const char* kVersion = "1.0.0.1";

private:
    // Creates and opens m_pConnection; false (after the message) when that fails.
    bool OpenConnection();
};

extern CDirquillApp theApp;
