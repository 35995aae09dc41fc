#include <QTest>
#include <QTextDocument>

#include "app/logic/result_list.h"
#include "app/result_list_model.h"
#include "store/config_store.h"

using namespace tessvale;

// Host texts in the list's tooltips are shown as the host sent them: markup in a
// NetBIOS name is no markup.
class ResultListTooltipTest : public QObject
{
    Q_OBJECT

private slots:
    void tooltipsShowHostTextsAsPlainText()
    {
        ResultList list;
        list.AppendStored(StoredHost{"10.0.0.1", "00:11:22:33:44:55", "<b>PC-1</b>", "a & b", "", "", "", "", ""});
        ResultListModel model(list);
        const QString tip = model.data(model.index(0, kColumnHostName), Qt::ToolTipRole).toString();
        // Whatever renders the tooltip shows the characters themselves.
        QTextDocument shown;
        if (Qt::mightBeRichText(tip)) {
            shown.setHtml(tip);
        } else {
            shown.setPlainText(tip);
        }
        QCOMPARE(shown.toPlainText(), QStringLiteral("<b>PC-1</b>"));
        const QString cpu = model.data(model.index(0, kColumnCpu), Qt::ToolTipRole).toString();
        shown.setHtml(cpu);
        QCOMPARE(shown.toPlainText(), QStringLiteral("a & b"));
        // The cell itself keeps the text unchanged.
        QCOMPARE(model.data(model.index(0, kColumnHostName), Qt::DisplayRole).toString(),
                 QStringLiteral("<b>PC-1</b>"));
    }
};

QTEST_MAIN(ResultListTooltipTest)
#include "result_list_tooltip_test.moc"
