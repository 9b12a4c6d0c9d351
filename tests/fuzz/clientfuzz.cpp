#include "clientfuzz.h"

#include "core/httpcurl.h"
#include "temphome.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QVector>

#include <cstdio>
#include <cstdlib>

void fuzzFail(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

void startClientFuzz(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The transport's and the models' debug lines would cost more than the
    // work under test.
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    static TempHome home;
    // Never destroyed: the widgets the programs keep between inputs stay
    // reachable, so the leak check at exit reports only what inputs lost.
    auto *app = new QApplication(*argc, *argv);
    app->setAttribute(Qt::AA_Use96Dpi, true);
}

QVariantMap fuzzReply(const QByteArray &body)
{
    return HttpCurl::parseJson(QString::fromUtf8(body).toUtf8()).toVariant().toMap();
}

QList<QByteArray> fuzzParts(const uint8_t *data, size_t size, int max)
{
    const QByteArray all = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QList<QByteArray> parts;
    int at = 0;
    while (parts.size() < max - 1) {
        const int nul = all.indexOf('\0', at);
        if (nul < 0)
            break;
        parts.append(all.mid(at, nul - at));
        at = nul + 1;
    }
    parts.append(all.mid(at));
    return parts;
}

void walkModel(const QAbstractItemModel &model)
{
    FUZZ_CHECK(model.columnCount() >= 1);
    QVector<QModelIndex> stack{QModelIndex()};
    while (!stack.isEmpty()) {
        const QModelIndex parent = stack.takeLast();
        const int rows = model.rowCount(parent);
        FUZZ_CHECK(rows >= 0);
        FUZZ_CHECK(!model.index(rows, 0, parent).isValid());
        for (int row = 0; row < rows; ++row) {
            const QModelIndex child = model.index(row, 0, parent);
            FUZZ_CHECK(child.isValid());
            FUZZ_CHECK(child.model() == &model);
            FUZZ_CHECK(child.row() == row);
            FUZZ_CHECK(model.parent(child) == parent);
            model.data(child, Qt::DisplayRole).toString();
            model.data(child, Qt::UserRole + 1).toString();
            model.flags(child);
            stack.append(child);
        }
    }
}
