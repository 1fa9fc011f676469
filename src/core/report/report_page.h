#pragma once
// The report page painter: one routine paints any page of a day's report into
// any QPainter rectangle, so the screen preview, the printer and the PDF file
// show the same page. The page is laid out on a sheet 1000 units wide whose
// height follows the rectangle's aspect.
#include "core/report/report_data.h"

#include <QRectF>
#include <QString>

class QPainter;

// HOSPITAL and REPORT 102 with one blank between.
QString ReportTitle();


// Paints page `page` (1 first) of `data`; pages outside the plan stay blank.
void PaintReportPage(QPainter& painter, const QRectF& pageRect, const ReportData& data, int page);

inline constexpr double kReportSheetWidth = 1000.0;
