// The chart canvas that writes Visio XML drawings (.vsdx) without Visio: documents,
// pages, masters, shapes, cells, selection and window over a VsdxDrawing. Stencils are
// .vssx packages; any template name (.vst, .vstx) gives a new blank drawing.
#pragma once

#include "chart/chart_canvas.h"

namespace tessvale {

class VsdxCanvasProvider : public CanvasProvider
{
public:
    // No application outlives a chart run, so there is never one to reuse.
    ChartStatus GetActiveObject(CanvasUnknown** out) override;
    ChartStatus CreateInstance(CanvasApplication** out) override;
};

} // namespace tessvale
