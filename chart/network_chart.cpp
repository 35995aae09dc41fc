#include "chart/network_chart.h"

#include <utility>

namespace tessvale {

namespace {

constexpr const char* kSwitchMaster = "Workgroup Switches";
constexpr const char* kLabelMaster = "Label";
constexpr const char* kLeftLabelMaster = "Label2";
constexpr const char* kConnectorMaster = "Dynamic Connector";
constexpr const char* kRouterMaster = "Router";
constexpr const char* kPcMaster = "PC";
constexpr const char* kConnectionPoint = "Connections.X1";

// The connectors are dropped on a line below the drawing; gluing both ends moves them.
// The value is the single-precision 1.6 as the layout has always used it.
constexpr double kConnectorDropY = static_cast<double>(1.6f);

} // namespace

std::string ChartLabelText(const std::string& hostName, const std::string& address, const std::string& mac,
                           const std::string& vendor)
{
    return "PC Name: " + hostName + "\nIP: " + address + "\nMAC: " + mac + "\nNet Card Vendor: " + vendor;
}

bool IsRouterAddress(const std::string& address)
{
    const std::string tail = address.size() < 2 ? address : address.substr(address.size() - 2);
    return tail == ".1";
}

CNetworkChart::CNetworkChart(const std::vector<std::string>& addresses, const std::vector<std::string>& macs,
                             const std::vector<std::string>& hostNames, const std::vector<std::string>& vendors,
                             CanvasProvider& provider, ChartMessageSink& sink, ChartPaths paths)
    : m_addresses(addresses), m_macs(macs), m_hostNames(hostNames), m_vendors(vendors), m_provider(provider),
      m_sink(sink), m_paths(std::move(paths))
{}

void CNetworkChart::Plain(const char* text)
{
    m_sink.ShowChartMessage(ChartMessageKind::Plain, text);
}

void CNetworkChart::Localised(const char* text)
{
    m_sink.ShowChartMessage(ChartMessageKind::Localised, text);
}

const std::string& CNetworkChart::Entry(const std::vector<std::string>& list, std::size_t i)
{
    static const std::string empty;
    return i < list.size() ? list[i] : empty;
}

bool CNetworkChart::OpenVisio()
{
    // A running application is reused; otherwise a new one is started.
    {
        CVisioUnknown active;
        CanvasUnknown* running = nullptr;
        if (ChartSucceeded(m_provider.GetActiveObject(&running)) && running != nullptr) {
            active.TakeOver(running);
            running->Release();
            active.QueryInterface(CanvasInterface::Application, m_application);
        } else if (running != nullptr) {
            running->Release();
        }
    }
    if (!m_application.IsSet()) {
        CanvasApplication* created = nullptr;
        m_provider.CreateInstance(&created);
        if (created != nullptr) {
            m_application.TakeOver(created);
            created->Release();
        }
    }
    if (!m_application.IsSet()) {
        Plain("Can not get the Visio Application!\n\nHave you install the Visio Application?");
        return false;
    }
    if (!ChartSucceeded(m_application.Documents(m_documents)) || !m_documents.IsSet()) {
        Plain("Can not get the Visio Documents!\n\nPlease close all visio windows,and retry!");
        return false;
    }
    if (!ChartSucceeded(m_documents.Add(m_paths.stencilPath, m_stencil)) || !m_stencil.IsSet()) {
        Plain("Can not get the Visio Stencil Documents!\n\nCan not crete Visio chart!");
        return false;
    }
    if (!ChartSucceeded(m_documents.Add(kChartTemplateName, m_drawing)) || !m_drawing.IsSet()) {
        Plain("Can not get the Visio Stencil Documents!\n\nCan not crete Visio chart!");
        return false;
    }
    if (!ChartSucceeded(m_drawing.Pages(m_pages)) || !m_pages.IsSet()) {
        Plain("Can not get the Visio Pages !\n\nCan not crete Visio chart!");
        return false;
    }
    if (!ChartSucceeded(m_stencil.Masters(m_masters)) || !m_masters.IsSet()) {
        Plain("Can not get the Visio Master !\n\nCan not crete Visio chart!");
        return false;
    }
    return true;
}

bool CNetworkChart::Draw()
{
    if (!OpenVisio()) {
        return false;
    }

    CVisioPage page;
    m_pages.Item(1, page);
    CVisioWindow window;
    CVisioSelection selection;
    if (!ChartSucceeded(m_application.ActiveWindow(window)) || !ChartSucceeded(window.Selection(selection))) {
        Localised("Get selection error!");
        return false;
    }

    // The switch with its label, grouped.
    CVisioMaster switchMaster;
    m_masters.Item(kSwitchMaster, switchMaster);
    CVisioShape switchShape;
    page.Drop(switchMaster, 6.0, 5.0, switchShape);
    CVisioMaster switchLabelMaster;
    m_masters.Item(kLabelMaster, switchLabelMaster);
    CVisioShape switchLabel;
    page.Drop(switchLabelMaster, 7.0, 5.0, switchLabel);
    if (switchLabel.IsSet()) {
        switchLabel.PutText("Switch");
    }
    if (!ChartSucceeded(selection.Select(switchShape, kSelectDeselectAllThenSelect)) ||
        !ChartSucceeded(selection.Select(switchLabel, kSelectSelect))) {
        Localised("Select error!");
        return false;
    }
    CVisioShape switchGroup;
    if (!ChartSucceeded(selection.Group(switchGroup))) {
        Localised("Group err!");
        return false;
    }
    CVisioCell switchPoint;
    if (!ChartSucceeded(switchShape.Cells(kConnectionPoint, switchPoint))) {
        Plain("start - Connections.X1!");
        return false;
    }

    const std::size_t rows = m_addresses.size();
    for (std::size_t i = 0; i < rows; ++i) {
        CVisioMaster connectorMaster;
        m_masters.Item(kConnectorMaster, connectorMaster);
        CVisioShape connector;
        page.Drop(connectorMaster, static_cast<double>(i) + 6.0, kConnectorDropY, connector);

        const std::string& address = m_addresses[i];
        CVisioMaster hostMaster;
        m_masters.Item(IsRouterAddress(address) ? kRouterMaster : kPcMaster, hostMaster);

        // Row 0 above the switch, then alternately left (odd rows) and right (even rows),
        // one inch lower per row.
        const double y = 5.0 - static_cast<double>(i);
        double hostX = 0;
        double hostY = y;
        double labelX = 0;
        const char* labelMasterName = kLabelMaster;
        if (i == 0) {
            hostX = 6.0;
            hostY = 6.5;
            labelX = 6.75;
        } else if (i % 2 == 1) {
            hostX = 4.0;
            labelX = 3.5;
            labelMasterName = kLeftLabelMaster;
        } else {
            hostX = 8.0;
            labelX = 8.75;
        }
        CVisioShape host;
        page.Drop(hostMaster, hostX, hostY, host);
        CVisioMaster labelMaster;
        m_masters.Item(labelMasterName, labelMaster);
        CVisioShape label;
        page.Drop(labelMaster, labelX, hostY, label);
        if (label.IsSet()) {
            label.PutText(ChartLabelText(Entry(m_hostNames, i), address, Entry(m_macs, i), Entry(m_vendors, i)));
        }

        CVisioCell beginCell;
        if (!ChartSucceeded(connector.Cells("BeginX", beginCell))) {
            Plain("begin!");
            return false;
        }
        if (!ChartSucceeded(beginCell.GlueTo(switchPoint))) {
            Plain("GlueTo error!");
            return false;
        }
        CVisioCell endCell;
        if (!ChartSucceeded(connector.Cells("EndX", endCell))) {
            Plain("begin!");
            return false;
        }
        CVisioCell hostPoint;
        if (!ChartSucceeded(host.Cells(kConnectionPoint, hostPoint))) {
            Plain("end Connections.X4!");
            return false;
        }
        if (!ChartSucceeded(endCell.GlueTo(hostPoint))) {
            Plain("GlueTo error!");
            return false;
        }

        if (!ChartSucceeded(selection.Select(label, kSelectDeselectAllThenSelect)) ||
            !ChartSucceeded(selection.Select(host, kSelectSelect))) {
            Localised("Select error!");
            return false;
        }
        CVisioShape hostGroup;
        if (!ChartSucceeded(selection.Group(hostGroup))) {
            Localised("Group err!");
            return false;
        }
    }

    if (!ChartSucceeded(page.ResizeToFitContents())) {
        Localised("Resize error!");
        return false;
    }
    CVisioShape sheet;
    if (!ChartSucceeded(page.PageSheet(sheet))) {
        Localised("page sheet error!");
        return false;
    }
    CVisioCell widthCell;
    if (!ChartSucceeded(sheet.Cells("PageWidth", widthCell))) {
        Localised("width cell error!");
        return false;
    }
    double width = 0;
    if (!ChartSucceeded(widthCell.GetResultIU(&width))) {
        Localised("get page width error!");
        return false;
    }
    if (!ChartSucceeded(widthCell.PutResultIU(width + 0.5))) {
        Localised("put page width error!");
        return false;
    }
    if (!ChartSucceeded(page.CenterDrawing())) {
        Localised("centerdrawing error!");
        return false;
    }
    if (!ChartSucceeded(window.PutViewFit(kViewFitPageWidth))) {
        Localised("putViewFit error!");
        return false;
    }
    short saveResult = 0;
    if (!ChartSucceeded(m_drawing.SaveAs(m_paths.savePath, &saveResult))) {
        Localised("SaveError!");
        return false;
    }
    return true;
}

} // namespace tessvale
