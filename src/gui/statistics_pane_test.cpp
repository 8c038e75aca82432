#include "gui/statistics_pane.h"

#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QLabel>
#include <QTreeWidget>
#include <QValueAxis>
#include <QtTest>

#include "gui/figure_views.h"

using namespace chatterwick;

class StatisticsPaneTest : public QObject {
  Q_OBJECT

  static std::vector<std::string> Months(const char* first, int count) {
    std::map<std::string, int64_t> ends{{first, 1}};
    int year = std::stoi(std::string(first, 4)), month = std::stoi(std::string(first + 5, 2));
    month += count - 1;
    year += (month - 1) / 12, month = (month - 1) % 12 + 1;
    ends[QStringLiteral("%1-%2").arg(year).arg(month, 2, 10, QChar('0')).toStdString()] = 1;
    std::vector<std::string> months;
    for (const auto& [m, n] : gui::EveryMonth(ends)) months.push_back(m);
    return months;
  }

  static archive::Statistics Example() {
    archive::Statistics st;
    st.messages = 1234;
    st.conversations = 3;
    st.first_sent_at = "2021-06-09T09:48:00+01:00";
    st.last_sent_at = "2022-12-30T17:39:26+02:00";
    st.per_month = {{"2021-06", 34}, {"2022-12", 1200}};
    st.per_hour = {{9, 34}, {17, 1200}};
    st.per_weekday = {0, 0, 34, 0, 1200, 0, 0};
    st.busiest_days = {{"2022-12-30", 1200}, {"2021-06-09", 34}};
    st.per_sender = {{"Bob", "bob@example.org (XMPP)", 1000}, {"me", "2 accounts", 234}};
    st.top_contacts = {{"erin@chat.example.net", "alice@example.com (XMPP)", 1234}};
    st.first_conversation = {1, "Erin", "alice@example.com (XMPP)", st.first_sent_at, "", 34};
    st.last_conversation = st.longest_conversation = {
        2, "Erin", "alice@example.com (XMPP)", st.last_sent_at, "", 1200};
    st.sent = 234, st.received = 1000;
    return st;
  }

 private slots:
  void everyMonthIsInPlace() {
    const auto months = gui::EveryMonth({{"2021-06", 3}, {"2022-12", 5}, {"2021-11", 2}});
    QCOMPARE(months.size(), size_t{19});
    QCOMPARE(months.front(), (std::pair<std::string, qint64>{"2021-06", 3}));
    QCOMPARE(months[5], (std::pair<std::string, qint64>{"2021-11", 2}));
    QCOMPARE(months[7], (std::pair<std::string, qint64>{"2022-01", 0}));
    QCOMPARE(months.back(), (std::pair<std::string, qint64>{"2022-12", 5}));
    // An archive is read as data: what is no month is left out, and a span
    // of millennia draws only the months that have messages.
    QCOMPARE(gui::EveryMonth({{"2022-13", 1}, {"x", 1}, {"2022-1", 1}, {"2022-09", 4}}),
             (std::vector<std::pair<std::string, qint64>>{{"2022-09", 4}}));
    QCOMPARE(gui::EveryMonth({{"0001-01", 1}, {"9999-12", 2}}).size(), size_t{2});
  }

  void timeLabelsCanBeRead_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("months");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("one month") << "2022-09" << 1 << QStringList{"Sep 2022"};
    QTest::newRow("months over a new year")
        << "2022-11" << 4 << QStringList{"Nov 2022", "Dec", "Jan 2023", "Feb"};
    QTest::newRow("quarters") << "2021-05" << 18
                              << QStringList{"Q2 2021", "Q3 2021", "Q4 2021", "Q1 2022",
                                             "Q2 2022", "Q3 2022", "Q4 2022"};
    QTest::newRow("years") << "2019-01" << 72
                           << QStringList{"2019", "2020", "2021", "2022", "2023", "2024"};
    QTest::newRow("runs of years")
        << "1990-03" << 12 * 30
        << QStringList{"1990–91", "1992–93", "1994–95", "1996–97", "1998–99", "2000–01",
                       "2002–03", "2004–05", "2006–07", "2008–09", "2010–11", "2012–13",
                       "2014–15", "2016–17", "2018–19", "2020"};
  }
  void timeLabelsCanBeRead() {
    QFETCH(QString, first);
    QFETCH(int, months);
    QFETCH(QStringList, labels);
    const std::vector<std::string> all = Months(first.toLatin1().constData(), months);
    QCOMPARE(all.size(), size_t(months));
    QStringList got;
    int next = 0;
    for (const gui::SpanLabel& label : gui::MonthLabels(all)) {
      QCOMPARE(label.first, next);  // every month under one label, in order
      next = label.last + 1;
      got << label.text;
    }
    QCOMPARE(next, months);
    QCOMPARE(got, labels);
  }

  void ticksAreRound_data() {
    QTest::addColumn<double>("top");
    QTest::addColumn<qint64>("step");
    for (const auto& [top, step] : std::vector<std::pair<double, qint64>>{
             {0, 1}, {3, 1}, {7, 2}, {10, 5}, {1698, 500}, {2264, 1000}, {41000, 20000}})
      QTest::addRow("%g", top) << top << step;
  }
  void ticksAreRound() {
    QFETCH(double, top);
    QFETCH(qint64, step);
    QCOMPARE(gui::RoundStep(top), step);
  }

  void everyFigureIsShownAndCopiedAsText() {
    gui::StatisticsPane pane;
    pane.Show(Example());
    pane.Show(Example());  // the second time takes the first one's place
    QCOMPARE(pane.findChildren<QLabel*>("lblStatsSummary").size(), 1);
    QCOMPARE(pane.findChild<QLabel*>("lblStatsSummary")->text(),
             QString("1,234 messages in 3 conversations, from 2021-06-09 09:48 to 2022-12-30 "
                     "17:39\nWritten by me: 234 (19 %); by them: 1,000 (81 %)"));
    QCOMPARE(pane.findChildren<QChartView*>().size(), 3);
    // Every month from the first to the last has its bar, the empty ones too.
    auto* months = pane.findChild<QChartView*>("chtMonths");
    QVERIFY(months);
    QCOMPARE(gui::FiguresAsText(months).count('\n'), 1 + 19);
    QVERIFY(gui::FiguresAsText(months).contains("2022-01\t0\n"));
    auto* y = qobject_cast<QValueAxis*>(months->chart()->axes(Qt::Vertical).first());
    QCOMPARE(y->tickInterval(), 500.0);
    QCOMPARE(y->max(), 1500.0);
    auto* contacts = pane.findChild<QTreeWidget*>("lstTopContacts");
    QCOMPARE(contacts->topLevelItem(0)->text(0), QString("erin@chat.example.net"));
    QCOMPARE(contacts->topLevelItem(0)->text(1), QString("alice@example.com (XMPP)"));
    // The names are not cut: each column is as wide as its widest text.
    QVERIFY(contacts->columnWidth(0) >=
            contacts->fontMetrics().horizontalAdvance("erin@chat.example.net"));
    auto* conversations = pane.findChild<QTreeWidget*>("lstConversations");
    QCOMPARE(conversations->topLevelItemCount(), 3);
    QCOMPARE(conversations->topLevelItem(2)->text(0), QString("Longest"));
    QCOMPARE(pane.findChild<QTreeWidget*>("lstBusiestDays")->topLevelItem(0)->text(1),
             QString("Fri"));
    auto* senders = pane.findChild<QTreeWidget*>("lstSenders");
    QApplication::clipboard()->clear();
    senders->actions().first()->trigger();
    QCOMPARE(QApplication::clipboard()->text(),
             QString("Sender\tAccount\tMessages\nBob\tbob@example.org (XMPP)\t1,000\n"
                     "me\t2 accounts\t234\n"));
  }

  // One of a kind is said so, and no span is named where there is none.
  void aSummaryOfOneOrNone() {
    archive::Statistics st;
    st.messages = st.conversations = 1;
    gui::StatisticsPane pane;
    pane.Show(st);
    QCOMPARE(pane.findChild<QLabel*>("lblStatsSummary")->text(),
             QString("1 message in 1 conversation"));
  }

  void aNoteTakesThePlaceOfTheFigures() {
    gui::StatisticsPane pane;
    pane.Show(Example());
    pane.ShowNote("Computing the statistics…");
    QCOMPARE(pane.findChildren<QChartView*>().size(), 0);
    QCOMPARE(pane.findChild<QLabel*>("lblStatsSummary")->text(),
             QString("Computing the statistics…"));
  }
};

QTEST_MAIN(StatisticsPaneTest)
#include "statistics_pane_test.moc"
