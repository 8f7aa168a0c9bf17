#pragma once
// File and URL helpers for QML ("fileUtils"). Stateless. Threads: GUI thread.

#include <QObject>
#include <QString>
#include <QUrl>

class FileUtils : public QObject {
    Q_OBJECT
public:
    explicit FileUtils(QObject *parent = nullptr);

    Q_INVOKABLE bool openUrl(const QString &path);
    Q_INVOKABLE bool openUrl(const QUrl &url);
    Q_INVOKABLE bool urlIsValid(const QUrl &url);
    Q_INVOKABLE QString getLocalPath(const QUrl &url);
    Q_INVOKABLE QString getDownloadPath();
    Q_INVOKABLE QUrl getDownloadPathURL();
    Q_INVOKABLE bool isDirWritable(const QString &path);
    Q_INVOKABLE bool makeFolder(const QString &path, const QString &folder_name);
    Q_INVOKABLE bool makeFolder(const QUrl &path, const QString &folder_name);
    Q_INVOKABLE QString makeFolderTimestamp(const QString &path, const QString &folder_name);
    Q_INVOKABLE QString getCurrentTimestamp();
    Q_INVOKABLE bool folderExixsts(const QString &path, const QString &folder_name);
};
