#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

// A version as four parts, most significant first; -1 is a wildcard ("*", missing or empty).
struct tVersion
{
    std::array<qint32, 4> Part{-1, -1, -1, -1};

    friend bool operator==(const tVersion&, const tVersion&) = default;
};

// One file to fetch, as a file section of the descriptor names it.
struct tItemUpdate
{
    QString Source;       // URL; only the scheme "http" (any letter case) is fetched
    QString Target;       // local path; its first "%MAIN_DIR%\" becomes the UpdateFolder in DoUpdate
    qint32 Size = 0;      // progress maximum
    bool UseTemp = false; // download to Target + ".temp"; the copier places the file
};

// Version text to tVersion: parts split at '.', "*" (or a missing part) is -1,
// a part that is not an integer is 0. Parts after the fourth are ignored.
tVersion TranslateVersion(const QString& text);

// True when Latest is newer than Current, comparing part by part as signed integers.
bool UpdateNeeded(const tVersion& Current, const tVersion& Latest);

// True when every part of mask equals the version's part or is -1.
bool MaskMatches(const tVersion& mask, const tVersion& version);

// The per-user folder that receives downloads: $XDG_DATA_HOME (or ~/.local/share)
// + "/Marbeck/Updates/", created with its parents. Without a per-user data folder:
// the program's folder, nothing created. Ends with '/'.
QString UpdateFolder();

// True when target names a file strictly inside folder (folder ends with a separator):
// no ".." segment (with '/' or '\' as separators), and no symbolic link on the way
// leads out of it. The descriptor comes over plain HTTP, so its Targets are checked
// before anything is created.
bool TargetInsideFolder(const QString& target, const QString& folder);

// The descriptor's address on the maker's update server,
// "http://update.marbeck.com/softwupd/Pellaro.ini". The environment variable
// PELLARO_UPDATE_URL, when set and not empty, replaces it (tests, a local mirror).
QString UpdateDescriptorURL();

// The version compiled into the program, "major.minor.patch.tweak".
QString CompiledVersion();

// Finds out whether a newer version has been published (the update descriptor, an INI
// file fetched from URL into UpdateFile), describes it, downloads its files and, when
// the update needs a restart, starts the copier program beside this program.
// HTTP GETs are synchronous: they spin a local event loop, so the caller's window stays
// alive and OnProgress is raised from within the wait. Not re-entrant.
class TUpdater : public QObject
{
    Q_OBJECT

public:
    // Raised after each received block of a download, with the bytes received so far.
    using TProgressEvent = std::function<void(TUpdater* Sender, quint32 dwPosition)>;

    static constexpr int DefaultTransferTimeoutMs = 30000;
    static constexpr int MaxRedirects = 5;
    // Description lines taken at most, whatever DescriptionCount claims.
    static constexpr int MaxDescriptionLines = 4096;

    explicit TUpdater(QObject* owner = nullptr);
    ~TUpdater() override;

    // Published properties.
    const QString& URL() const { return m_URL; }
    void SetURL(const QString& url) { m_URL = url; }
    const QString& UpdateFile() const { return m_UpdateFile; }
    void SetUpdateFile(const QString& path) { m_UpdateFile = path; }
    QString GetCurrentVersion(); // fills an empty CurrentVersion from the compiled-in version
    void SetCurrentVersion(const QString& v) { m_CurrentVersion = v; }
    QString GetUpdateFilename(int i) const;
    quint32 Progress() const { return m_Progress; }
    QString GetDescription(int i) const;
    int GetDescriptionCount() const;
    const QString& LatestVersion() const { return m_LatestVersion; }
    qint32 iFileSize() const { return m_iFileSize; }
    const QString& ProxyServer() const { return m_ProxyServer; }
    void SetProxyServer(const QString& host) { m_ProxyServer = host; }
    const QString& ProxyPort() const { return m_ProxyPort; }
    void SetProxyPort(const QString& port) { m_ProxyPort = port; }
    bool IgnoreCurrentVersion() const { return m_IgnoreCurrentVersion; }
    void SetIgnoreCurrentVersion(bool on) { m_IgnoreCurrentVersion = on; }
    TProgressEvent OnProgress;

    // The two flags the dialog reads after DoUpdate.
    bool RestartNeeded() const { return m_RestartNeeded; }
    bool CopierStarted() const { return m_CopierStarted; }

    // Fetches and reads the descriptor; true when at least one file entry is in Items.
    bool CheckUpdate();
    // Downloads every entry and starts the copier when a restart is needed;
    // true when at least one download completed.
    bool DoUpdate();
    // Discards Items.
    void CancelUpdate();

    // The HTTP client's data and end handlers.
    void HttpCli1DocData(QObject* Sender, const char* Buffer, qint64 Len);
    void HttpClientDocEnd(QObject* Sender);

    // The entries found so far; nullptr while there are none.
    const QList<tItemUpdate>* Items() const { return m_Items.get(); }

    // The copier: "FileCopy" ("FileCopy.exe" on Windows) beside the program.
    // Tests point it at a stand-in.
    const QString& Copier() const { return m_Copier; }
    void SetCopier(const QString& path) { m_Copier = path; }
    // What the last DoUpdate handed (or would have handed) the copier: the parameter
    // text, and the same as an argument list (the copier is started without a shell).
    const QString& CopierParameters() const { return m_CopierParameters; }
    const QStringList& CopierArguments() const { return m_CopierArguments; }

    // Time without transfer after which a GET fails; tests shorten it.
    void SetTransferTimeout(int ms) { m_TransferTimeoutMs = ms; }
    int TransferTimeout() const { return m_TransferTimeoutMs; }

private:
    bool Get(const QString& url); // synchronous GET into OutputFile; true on a 2xx answer
    void ApplyProxy();
    void ReadDescriptor();
    bool OpenOutputFile(const QString& path);
    void CloseOutputFile();

    QString m_URL;
    bool m_RestartNeeded = false;
    bool m_CopierStarted = false;
    QString m_UpdateFile;
    QString m_CurrentVersion;
    std::unique_ptr<QList<tItemUpdate>> m_Items;
    quint32 m_Progress = 0;
    std::unique_ptr<QStringList> m_Descriptions;
    QString m_LatestVersion;
    qint32 m_iFileSize = 0;
    QString m_ProxyServer;
    QString m_ProxyPort;
    bool m_IgnoreCurrentVersion = false;
    std::unique_ptr<QFile> m_OutputFile;
    std::unique_ptr<QNetworkAccessManager> m_HttpClient;

    QString m_Copier;
    QString m_CopierParameters;
    QStringList m_CopierArguments;
    int m_TransferTimeoutMs = DefaultTransferTimeoutMs;
    bool m_Busy = false;
};
