#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the test recorder (tools/recorder-sim) on a free loopback port for one test:
// a temporary login folder, a command log and a key log. The destructor stops it.
class RecorderSim
{
public:
    RecorderSim();
    ~RecorderSim();
    RecorderSim(const RecorderSim&) = delete;
    RecorderSim& operator=(const RecorderSim&) = delete;

    // Starts the simulator with extra arguments (fault switches, --report, ...);
    // false with Error set when it does not come up within 10 seconds.
    bool Start(const QStringList& extraArgs = {}, const QString& host = QStringLiteral("127.0.0.1"));
    void Stop();

    QString Host() const { return m_host; }
    quint16 Port() const { return m_port; }
    QString Root() const { return m_root.path() + QLatin1Char('/'); }
    QString Error;

    // An account file "USR." + name with the password and the number on two lines.
    void AddAccount(const QByteArray& name, const QByteArray& password, const QByteArray& number = "1");
    void PutFile(const QString& name, const QByteArray& data);
    QByteArray FileData(const QString& name) const;
    bool HasFile(const QString& name) const;

    // Every command line the simulator received, in order.
    QList<QByteArray> CommandLog() const;
    // The commands without their PORT/EPRT lines.
    QList<QByteArray> Commands() const;
    // "[K]<hex> <decoded bytes as hex pairs>" per key command.
    QList<QByteArray> KeyLog() const;

private:
    QTemporaryDir m_root;
    QTemporaryDir m_logs;
    QProcess m_process;
    QString m_host;
    quint16 m_port = 0;
};
