#include "gui/statistics_pane.h"

#include <QChartView>
#include <QLabel>
#include <QTreeWidget>
#include <QtTest>

using namespace chatterwick;

class StatisticsPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void everyFigureIsShownAndShownAnew() {
    archive::Statistics st;
    st.messages = 1234;
    st.first_sent_at = "2019-01-09T09:48:00+01:00";
    st.last_sent_at = "2022-09-30T17:39:26+02:00";
    st.per_month = {{"2019-01", 34}, {"2022-09", 1200}};
    st.per_hour = {{9, 34}, {17, 1200}};
    st.per_sender = {{"Bob", 1000}, {"Alice", 234}};
    st.top_contacts = {{"bob@example.org", 1234}};
    gui::StatisticsPane pane;
    pane.Show(st);
    pane.Show(st);  // the second time takes the first one's place
    QCOMPARE(pane.findChildren<QLabel*>("lblStatsSummary").size(), 1);
    QCOMPARE(pane.findChild<QLabel*>("lblStatsSummary")->text(),
             QString("1,234 messages, from 2019-01-09 09:48 to 2022-09-30 17:39"));
    QCOMPARE(pane.findChildren<QChartView*>().size(), 2);
    auto* senders = pane.findChild<QTreeWidget*>("lstSenders");
    QCOMPARE(senders->topLevelItemCount(), 2);
    QCOMPARE(senders->topLevelItem(0)->text(0), QString("Bob"));
    QCOMPARE(pane.findChild<QTreeWidget*>("lstTopContacts")->topLevelItemCount(), 1);
  }
};

QTEST_MAIN(StatisticsPaneTest)
#include "statistics_pane_test.moc"
