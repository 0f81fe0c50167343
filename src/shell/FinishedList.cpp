#include "shell/FinishedList.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "util/AtomicFile.h"
#include "util/Folders.h"
#include "util/Paths.h"

namespace shell {

FinishedList::FinishedList(QString path) : path_(std::move(path)) {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonArray books = QJsonDocument::fromJson(file.read(16 << 20)).array();
    for (const auto& value : books) {
        const QJsonObject o = value.toObject();
        FinishedBook book{o["pdf"].toString(), o["title"].toString(), o["pages"].toInt(),
                          static_cast<qint64>(o["bytes"].toDouble()),
                          static_cast<qint64>(o["when"].toDouble())};
        if (!book.pdf.isEmpty() && books_.size() < kMostBooks)
            books_.push_back(book);
    }
}

QString FinishedList::DefaultPath() {
    return QString::fromStdString(util::JoinPath(util::GetUserDataFolder(), "finished.json"));
}

void FinishedList::Add(const FinishedBook& book) {
    Remove(book.pdf);
    books_.prepend(book);
    if (books_.size() > kMostBooks)
        books_.resize(kMostBooks);
    Save();
}

bool FinishedList::Remove(const QString& pdf) {
    for (qsizetype i = 0; i < books_.size(); ++i) {
        if (books_[i].pdf == pdf) {
            books_.removeAt(i);
            Save();
            return true;
        }
    }
    return false;
}

void FinishedList::Save() {
    QJsonArray books;
    for (const FinishedBook& book : books_) {
        books.push_back(QJsonObject{{"pdf", book.pdf},
                                    {"title", book.title},
                                    {"pages", book.pages},
                                    {"bytes", static_cast<double>(book.bytes)},
                                    {"when", static_cast<double>(book.when)}});
    }
    const std::string path = path_.toStdString();
    QDir().mkpath(QString::fromStdString(util::GetFolderOf(path)));
    saved_ =
        util::WriteFileAtomically(path, QJsonDocument(books).toJson(QJsonDocument::Indented).toStdString());
}

}  // namespace shell
