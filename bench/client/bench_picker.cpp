// The user picker's own work against decoding the replies it works from, in
// one run, the measurements alternating:
//  - building UserViewModel (with its tree view) from a reply of 10,000 groups
//    in random order, up to 10 levels deep, against decoding that reply;
//  - filling the candidate table with the 5,000 members of one group, and one
//    keystroke in the filter over them, against decoding the member reply.
// Each figure is min / median / max over the runs; the ratios compare medians.
// Goals: build <= 1.0 x decode; fill <= 2 x decode; keystroke <= 0.5 x decode.

#include "collab/dialogtable.h"
#include "collab/selectuser.h"
#include "models/userviewmodel.h"
#include "widgets/treeview.h"

#include "benchfigures.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kGroups = 10000;
constexpr int kMaxDepth = 10;
constexpr int kMembers = 5000;
constexpr int kRuns = 11;
const char *const kOrganisation = "9d27ffe38ca78490";

QString hexId(QRandomGenerator &rng)
{
    return QStringLiteral("%1%2")
        .arg(rng.generate(), 8, 16, QLatin1Char('0'))
        .arg(rng.generate(), 8, 16, QLatin1Char('0'));
}

// The organisation and 10,000 groups below it, as the server lists them but
// shuffled, so most children come before their parents.
QByteArray groupReply(QRandomGenerator &rng)
{
    struct Group
    {
        QString id;
        QString parent;
        int depth;
    };
    std::vector<Group> groups{{kOrganisation, QStringLiteral("-1"), 0}};
    while (int(groups.size()) < kGroups + 1) {
        const Group &parent = groups.at(rng.bounded(int(groups.size())));
        if (parent.depth >= kMaxDepth)
            continue;
        groups.push_back({hexId(rng), parent.id, parent.depth + 1});
    }
    std::shuffle(groups.begin(), groups.end(), rng);
    static const char *const names[] = {"研发中心", "市场部",  "行政部", "销售一组",
                                        "华东区",   "Support", "财务部", "质量保障"};
    QJsonArray data;
    for (const Group &g : groups) {
        const QString name =
            g.id == QLatin1String(kOrganisation)
                ? QStringLiteral("组织架构")
                : QString::fromUtf8(names[rng.bounded(8)]) + QString::number(rng.bounded(1000));
        data.append(QJsonObject{{"id", g.id}, {"name", name}, {"parentId", g.parent}});
    }
    return QJsonDocument(QJsonObject{{"code", 0}, {"msg", ""}, {"data", data}})
        .toJson(QJsonDocument::Compact);
}

// One group's 5,000 members, with the keys the server sends.
QByteArray memberReply(QRandomGenerator &rng)
{
    static const char *const surnames[] = {"张", "李", "王", "赵", "陈", "刘", "杨",
                                           "黄", "周", "吴", "徐", "孙", "马", "朱",
                                           "胡", "郭", "何", "林", "高", "罗"};
    static const char *const given[] = {"伟", "芳", "娜", "敏", "静", "强", "磊", "洋"};
    QJsonArray data;
    for (int i = 0; i < kMembers; ++i) {
        const QString id = hexId(rng);
        const QString realname = QString::fromUtf8(surnames[rng.bounded(20)]) +
                                 QString::fromUtf8(given[rng.bounded(8)]) + QString::number(i);
        data.append(QJsonObject{{"id", id},
                                {"userId", id},
                                {"username", QStringLiteral("user%1").arg(i)},
                                {"realname", realname},
                                {"nickname", realname},
                                {"thumb", "/api/user/user-thumb.jf?userId=" + id}});
    }
    return QJsonDocument(QJsonObject{{"code", 0}, {"msg", ""}, {"data", data}})
        .toJson(QJsonDocument::Compact);
}

QVariantMap decode(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).toVariant().toMap();
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    QRandomGenerator rng(20240611);
    const QByteArray groups = groupReply(rng);
    const QByteArray members = memberReply(rng);

    // The picker as the user sees it; it has no server, so its own requests
    // fail at once and leave the tables alone.
    QStringList names, ids;
    SelectUser picker(names, ids, nullptr, 0);
    picker.show();
    QApplication::processEvents();

    Figures groupDecode, build, memberDecode, fill, keystroke;
    int treeRows = 0, shown = 0;
    for (int run = 0; run < kRuns; ++run) {
        QVariantMap groupMap, memberMap;
        groupDecode.runs.push_back(msOf([&] { groupMap = decode(groups); }));

        TreeView view(nullptr, true);
        auto *model = new UserViewModel(&view);
        view.setModel(model);
        view.show();
        QApplication::processEvents();
        build.runs.push_back(msOf([&] {
            model->receiveData(groupMap);
            QApplication::processEvents();
        }));
        treeRows = model->rowCount(model->index(0, 0));

        memberDecode.runs.push_back(msOf([&] { memberMap = decode(members); }));
        picker.filterEdit->clear();
        picker.candidateTable->setRowCount(0);
        // Each change is timed with the layout and painting it leaves for the
        // event loop.
        fill.runs.push_back(msOf([&] {
            picker.receiveData(memberMap);
            QApplication::processEvents();
        }));
        keystroke.runs.push_back(msOf([&] {
            picker.filterEdit->setText(QStringLiteral("李"));
            QApplication::processEvents();
        }));
        shown = 0;
        for (int row = 0; row < picker.candidateTable->rowCount(); ++row)
            shown += picker.candidateTable->isRowHidden(row) ? 0 : 1;
        QApplication::processEvents();
    }
    if (treeRows == 0 || picker.candidateTable->rowCount() != kMembers || shown == 0 ||
        shown == kMembers) {
        std::fprintf(stderr, "unexpected result: %d top groups, %d rows, %d shown\n", treeRows,
                     picker.candidateTable->rowCount(), shown);
        return 1;
    }

    std::printf("%d runs, milliseconds                  min   median      max\n", kRuns);
    print("decode 10,000 groups", groupDecode);
    print("build UserViewModel", build);
    print("decode 5,000 members", memberDecode);
    print("fill the candidate table", fill);
    print("one filter keystroke", keystroke);
    std::printf("(the filter shows %d of %d rows)\n", shown, kMembers);
    std::printf("build / decode groups:      %.2f (goal <= 1.0)\n",
                build.median() / groupDecode.median());
    std::printf("fill / decode members:      %.2f (goal <= 2.0)\n",
                fill.median() / memberDecode.median());
    std::printf("keystroke / decode members: %.2f (goal <= 0.5)\n",
                keystroke.median() / memberDecode.median());
    return 0;
}
