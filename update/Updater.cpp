#include "Updater.h"

#include "IniFile.h"
#include "Maker.h"
#include "WorkFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QUrl>

#include <algorithm>

namespace {

const QString MainDirMarker = QStringLiteral("%MAIN_DIR%\\");

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

QString Latin1(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

// "prefix" + decimal number without leading zeros, as the descriptor's reference keys are formed.
QByteArray NumberedKey(const char* prefix, int n)
{
    QByteArray key(prefix);
    key += QByteArray::number(n);
    return key;
}

// The number of a key "prefix<n>" (letter case ignored, n decimal without leading zeros), or -1.
int KeyNumber(const QByteArray& key, const QByteArray& prefix)
{
    if (key.size() <= prefix.size() || qstrnicmp(key.constData(), prefix.constData(), prefix.size()) != 0)
        return -1;
    const QByteArray digits = key.mid(prefix.size());
    if (digits.size() > 1 && digits.front() == '0')
        return -1;
    bool ok = false;
    const int n = digits.toInt(&ok, 10);
    if (!ok || n < 0 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return n;
}

// An HTTP answer whose body is the document asked for (redirections are followed by the client).
bool StatusOk(const QNetworkReply* reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}

} // namespace

tVersion TranslateVersion(const QString& text)
{
    tVersion v;
    int next = 0;
    QString rest = text;
    const auto store = [&v, &next](const QString& part) {
        if (next < 4)
            v.Part[static_cast<size_t>(next)] = StrToIntDef(part.toLatin1(), 0);
    };
    for (qsizetype dot = rest.indexOf(QLatin1Char('.')); dot >= 0; dot = rest.indexOf(QLatin1Char('.'))) {
        const QString part = rest.left(dot);
        if (part != QLatin1String("*"))
            store(part);
        ++next;
        rest = rest.mid(dot + 1);
    }
    if (!rest.isEmpty() && !rest.contains(QLatin1Char('*')))
        store(rest);
    return v;
}

bool UpdateNeeded(const tVersion& Current, const tVersion& Latest)
{
    for (size_t i = 0; i < 4; ++i) {
        if (Latest.Part[i] > Current.Part[i])
            return true;
        if (Latest.Part[i] < Current.Part[i])
            return false;
    }
    return false;
}

bool MaskMatches(const tVersion& mask, const tVersion& version)
{
    for (size_t i = 0; i < 4; ++i) {
        if (mask.Part[i] != -1 && mask.Part[i] != version.Part[i])
            return false;
    }
    return true;
}

QString UpdateFolder()
{
#ifdef Q_OS_WIN
    QString base = qEnvironmentVariable("APPDATA");
    if (base.isEmpty() || QDir::isRelativePath(base))
        return ProgramFolder();
#else
    QString base = UserDataFolder();
    if (base.isEmpty())
        return ProgramFolder();
#endif
    while (base.size() > 1 && (base.endsWith(QLatin1Char('/')) || base.endsWith(QLatin1Char('\\'))))
        base.chop(1);
    const QString folder = base + QStringLiteral("/Marbeck/Updates");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/');
}

bool TargetInsideFolder(const QString& target, const QString& folder)
{
    if (folder.isEmpty() || !target.startsWith(folder) || target.size() == folder.size())
        return false;
    QString rest = target.mid(folder.size());
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList segments = rest.split(QLatin1Char('/'));
    if (segments.contains(QStringLiteral("..")))
        return false;
    // A symbolic link inside the folder could still lead out of it.
    const QFileInfo info(target);
    if (info.isSymLink())
        return false;
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (canonicalFolder.isEmpty())
        return true; // nothing below a missing folder exists, so no link can lead out
    // The nearest folder on the way up that exists: a missing subfolder would otherwise
    // hide a link above it (the copier creates missing subfolders). A dangling link
    // counts as existing and has no canonical path, so it is refused.
    QString existing = info.absolutePath();
    while (!QFileInfo(existing).exists() && !QFileInfo(existing).isSymLink()) {
        const QString up = QFileInfo(existing).absolutePath();
        if (up == existing)
            break;
        existing = up;
    }
    const QString canonicalParent = QFileInfo(existing).canonicalFilePath();
    return canonicalParent == canonicalFolder || canonicalParent.startsWith(canonicalFolder + QLatin1Char('/'));
}

QString UpdateDescriptorURL()
{
    const QString over = qEnvironmentVariable("PELLARO_UPDATE_URL");
    if (!over.isEmpty())
        return over;
    return QStringLiteral("http://update.") + QLatin1String(Maker::Domain) + QStringLiteral("/softwupd/Pellaro.ini");
}

QString CompiledVersion()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(PELLARO_VERSION_MAJOR)
        .arg(PELLARO_VERSION_MINOR)
        .arg(PELLARO_VERSION_PATCH)
        .arg(PELLARO_VERSION_TWEAK);
}

TUpdater::TUpdater(QObject* owner) : QObject(owner)
{
    m_UpdateFile = UpdateFolder() + QStringLiteral("update.ini");
#ifdef Q_OS_WIN
    m_Copier = ProgramFolder() + QStringLiteral("FileCopy.exe");
#else
    m_Copier = ProgramFolder() + QStringLiteral("FileCopy");
#endif
}

TUpdater::~TUpdater() = default;

QString TUpdater::GetCurrentVersion()
{
    if (m_CurrentVersion.isEmpty())
        m_CurrentVersion = CompiledVersion();
    return m_CurrentVersion;
}

QString TUpdater::GetUpdateFilename(int i) const
{
    if (!m_Items || i < 0 || i >= m_Items->size())
        return QString();
    return m_Items->at(i).Target;
}

QString TUpdater::GetDescription(int i) const
{
    if (!m_Descriptions || i < 0 || i >= m_Descriptions->size())
        return QString();
    return m_Descriptions->at(i);
}

int TUpdater::GetDescriptionCount() const
{
    return m_Descriptions ? static_cast<int>(m_Descriptions->size()) : 0;
}

void TUpdater::CancelUpdate()
{
    // A download in progress walks the list; it stays until that run ends.
    if (!m_Busy)
        m_Items.reset();
}

void TUpdater::ApplyProxy()
{
    if (m_ProxyServer.trimmed().isEmpty()) {
        m_HttpClient->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        return;
    }
    bool ok = false;
    quint16 port = m_ProxyPort.trimmed().toUShort(&ok);
    if (!ok || port == 0)
        port = 80; // the HTTP client's own default proxy port
    m_HttpClient->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, m_ProxyServer.trimmed(), port));
}

bool TUpdater::OpenOutputFile(const QString& path)
{
    CloseOutputFile();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    m_OutputFile = std::move(file);
    return true;
}

void TUpdater::CloseOutputFile()
{
    if (m_OutputFile) {
        m_OutputFile->close();
        m_OutputFile.reset();
    }
}

void TUpdater::HttpCli1DocData(QObject* Sender, const char* Buffer, qint64 Len)
{
    Q_UNUSED(Sender);
    if (!m_OutputFile || Len <= 0)
        return;
    m_OutputFile->write(Buffer, Len);
    m_Progress += static_cast<quint32>(Len);
    if (OnProgress)
        OnProgress(this, m_Progress);
}

void TUpdater::HttpClientDocEnd(QObject* Sender)
{
    Q_UNUSED(Sender);
    CloseOutputFile();
}

bool TUpdater::Get(const QString& url)
{
    QNetworkRequest request{QUrl(url)};
    // Redirections never lead from https back to http, nor to a local file.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    request.setTransferTimeout(m_TransferTimeoutMs);
    const QString agent = QStringLiteral("Pellaro/") + CompiledVersion();
    request.setHeader(QNetworkRequest::UserAgentHeader, agent);

    m_Busy = true;
    QNetworkReply* reply = m_HttpClient->get(request);
    // Bodies of error answers (a 404 page, say) are not the document and never reach the file.
    const auto deliver = [this, reply] {
        if (!reply->isOpen())
            return; // aborted (time-out): nothing more to read
        const QByteArray block = reply->readAll();
        if (!block.isEmpty() && StatusOk(reply))
            HttpCli1DocData(m_HttpClient.get(), block.constData(), block.size());
    };
    connect(reply, &QNetworkReply::readyRead, this, deliver);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    deliver();
    HttpClientDocEnd(m_HttpClient.get());
    const bool ok = reply->error() == QNetworkReply::NoError && StatusOk(reply);
    delete reply;
    m_Busy = false;
    return ok;
}

bool TUpdater::CheckUpdate()
{
    if (m_Busy)
        return false;
    if (!m_HttpClient)
        m_HttpClient = std::make_unique<QNetworkAccessManager>();
    ApplyProxy();

    if (m_URL.contains(QStringLiteral("file://"))) {
        QFile source(m_URL.mid(7));
        if (source.open(QIODevice::ReadOnly)) {
            const QByteArray data = source.readAll();
            source.close();
            QFile copy(m_UpdateFile);
            if (copy.open(QIODevice::WriteOnly | QIODevice::Truncate))
                copy.write(data);
        }
    } else if (OpenOutputFile(m_UpdateFile)) {
        m_Progress = 0;
        if (!Get(m_URL))
            return false;
    }

    if (QFileInfo::exists(m_UpdateFile))
        ReadDescriptor();
    return m_Items && !m_Items->isEmpty();
}

void TUpdater::ReadDescriptor()
{
    const IniFile ini(m_UpdateFile, false);
    const QByteArray general("General");
    m_LatestVersion = Latin1(ini.ReadString(general, "LatestVersion", "0"));
    const tVersion current = TranslateVersion(m_CurrentVersion);
    const tVersion latest = TranslateVersion(m_LatestVersion);
    if (!m_IgnoreCurrentVersion && !UpdateNeeded(current, latest))
        return;

    // The first version section whose mask matches. A missing reference names a section
    // without keys, whose empty mask matches every version, so the search ends there at the
    // latest: it never runs past the keys the file holds, whatever VersionCount says.
    const int versionCount = ini.ReadInteger(general, "VersionCount", 0);
    bool found = false;
    QByteArray section;
    for (int i = 0; i < versionCount && !found; ++i) {
        section = ini.ReadString(general, NumberedKey("VersionSection", i), QByteArray());
        const tVersion mask =
            section.isEmpty() ? tVersion{} : TranslateVersion(Latin1(ini.ReadString(section, "Mask", QByteArray())));
        found = MaskMatches(mask, current);
    }
    if (!found)
        return;

    auto descriptions = std::make_unique<QStringList>();
    if (!section.isEmpty()) {
        // File references in number order; numbers without a key (or with an empty one) are skipped.
        const int fileCount = ini.ReadInteger(section, "FileCount", 0);
        QList<int> numbers;
        for (const QByteArray& key : ini.ReadSection(section)) {
            const int n = KeyNumber(key, "FileSection");
            if (n >= 0 && n < fileCount && !numbers.contains(n))
                numbers.append(n);
        }
        std::sort(numbers.begin(), numbers.end());
        for (const int j : numbers) {
            const QByteArray file = ini.ReadString(section, NumberedKey("FileSection", j), QByteArray());
            if (file.isEmpty())
                continue;
            tItemUpdate item;
            item.Source = Latin1(ini.ReadString(file, "Source", QByteArray()));
            item.Target = QFile::decodeName(ini.ReadString(file, "Target", QByteArray()));
            item.Size = ini.ReadInteger(file, "Size", 0);
            item.UseTemp = ini.ReadInteger(file, "UseTemp", 0) != 0;
            m_RestartNeeded = m_RestartNeeded || ini.ReadInteger(file, "NeedRestart", 0) != 0;
            if (!m_Items)
                m_Items = std::make_unique<QList<tItemUpdate>>();
            m_Items->append(item);
        }

        const int lines = std::clamp(ini.ReadInteger(section, "DescriptionCount", 0), 0, MaxDescriptionLines);
        descriptions->reserve(lines);
        for (int d = 0; d < lines; ++d)
            descriptions->append(Latin1(ini.ReadString(section, NumberedKey("Description", d), QByteArray())));
    }
    m_Descriptions = std::move(descriptions);
}

bool TUpdater::DoUpdate()
{
    if (!m_Items || m_Busy)
        return false;
    if (!m_HttpClient)
        m_HttpClient = std::make_unique<QNetworkAccessManager>();
    ApplyProxy();
    bool result = false;

    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString program = QCoreApplication::applicationFilePath();
    m_CopierParameters = QStringLiteral("-id ") + pid + QStringLiteral(" -p \"") + program + QStringLiteral(" -u\"");
    m_CopierArguments = QStringList{QStringLiteral("-id"), pid, QStringLiteral("-p"), program + QStringLiteral(" -u")};
    const QString folder = UpdateFolder();

    for (qsizetype i = 0; i < m_Items->size(); ++i) {
        tItemUpdate& item = (*m_Items)[i];
        const qsizetype colon = item.Source.indexOf(QLatin1Char(':'));
        const QString scheme = colon < 0 ? QString() : item.Source.left(colon);
        if (const qsizetype at = item.Target.indexOf(MainDirMarker); at >= 0)
            item.Target.replace(at, MainDirMarker.size(), folder);

        // Only files inside the update folder are written or handed to the copier.
        const QString path = item.UseTemp ? item.Target + QStringLiteral(".temp") : item.Target;
        if (!TargetInsideFolder(item.Target, folder) || !TargetInsideFolder(path, folder))
            continue;

        m_CopierParameters += QStringLiteral(" -f \"") + item.Target + QLatin1Char('"');
        m_CopierArguments << QStringLiteral("-f") << item.Target;

        if (!item.UseTemp)
            m_iFileSize = item.Size;
        OpenOutputFile(path); // a file that cannot be created drops the data; the entry still counts

        if (scheme.toLower() == QLatin1String("http")) {
            m_Progress = 0;
            const bool ok = Get(item.Source);
            CloseOutputFile();
            if (!ok)
                return result;
            result = true;
            if (item.UseTemp || m_RestartNeeded) {
                m_RestartNeeded = true;
                m_CopierStarted = true;
            }
        }
        CloseOutputFile();
    }

    if (m_CopierStarted)
        QProcess::startDetached(m_Copier, m_CopierArguments);
    return result;
}
