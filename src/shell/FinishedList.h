// The books converted in this and earlier sessions, newest first, kept in the user's data folder
// ($XDG_DATA_HOME/epub2pdf/finished.json) so that the window's "finished" page shows them after a
// restart. The list holds what the PDF was when it was written; the file itself may have gone since.
#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

namespace shell {

struct FinishedBook {
    QString pdf;    // full path
    QString title;  // the book's title, or empty
    int pages = 0;
    qint64 bytes = 0;
    qint64 when = 0;  // seconds since the epoch
};

class FinishedList {
  public:
    static constexpr int kMostBooks = 500;

    // Reads the list from path (missing or unreadable: empty).
    explicit FinishedList(QString path);
    // The default place.
    static QString DefaultPath();

    const QVector<FinishedBook>& Books() const { return books_; }
    // Puts a book first (a PDF listed already moves up with the new facts); stores the list.
    void Add(const FinishedBook& book);
    // Takes a PDF off the list (the file stays); stores the list. False when it was not listed.
    bool Remove(const QString& pdf);
    // False when the list could not be stored.
    bool Saved() const { return saved_; }

  private:
    void Save();
    QString path_;
    QVector<FinishedBook> books_;
    bool saved_ = true;
};

}  // namespace shell
