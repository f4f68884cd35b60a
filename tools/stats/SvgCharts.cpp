#include "tools/stats/SvgCharts.h"

#include "base/FormatText.h"
#include "tools/stats/TextReport.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

unsigned long long U(uint64_t value) { return static_cast<unsigned long long>(value); }

// A step of 1, 2 or 5 times a power of ten that divides 0..highest into at
// most five gridlines.
uint64_t NiceStep(uint64_t highest) {
    uint64_t power = 1;
    for (;;) {
        for (uint64_t factor : {1, 2, 5}) {
            if (power * factor * 5 >= highest) return power * factor;
        }
        power *= 10;
    }
}

struct FunnelStep {
    const char* english;
    const char* chinese;
    uint64_t machines;
    const char* colour;
    std::string dropped;  // who dropped out before this step
    std::string why;      // and why, when known
};

}  // namespace

std::string EscapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                    out += ' ';
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string FunnelChart(const GameFunnel& f) {
    std::vector<FunnelStep> steps = {
        {"opened the downloader", "打开下载器", f.opened, chart_colour::kLoaded, "", ""},
        {"started a download", "开始下载", f.started, chart_colour::kStarted,
         f.neverStarted ? FormatString("−%llu never pressed start 未点击下载", U(f.neverStarted)) : "", ""},
        {"finished the download", "下载完成", f.finished, chart_colour::kFinished, "", ""},
        {"got the game", "获得游戏（校验通过）", f.sound, chart_colour::kSound,
         f.checksFailed ? FormatString("−%llu file checks failed 文件校验失败", U(f.checksFailed)) : "", ""},
    };
    const uint64_t lost = f.started - f.finished;
    if (lost) {
        steps[2].dropped = FormatString("−%llu did not finish 未完成", U(lost));
        std::string why;
        auto add = [&why](uint64_t count, const char* reason) {
            if (!count) return;
            if (!why.empty()) why += " · ";
            why += FormatString("%llu %s", U(count), reason);
        };
        add(f.stalled, "stalled 停滞");
        add(f.sourceRefused, "refused 源拒绝");
        add(f.writeFailed, "write failed 写入失败");
        add(f.noReport, "no report 无报告");
        steps[2].why = why;
    }

    const int rowHeight = 64, barHeight = 40, top = 8;
    const int labelWidth = 150, barLeft = 162, barSpan = 260, textLeft = barLeft + barSpan + 16;
    const int width = 900, height = top + rowHeight * static_cast<int>(steps.size());
    std::string svg = FormatString(
        "<svg class=\"funnel\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
        "role=\"img\">\n",
        width, height, width, height);
    const double whole = static_cast<double>(std::max<uint64_t>(f.opened, 1));
    for (size_t i = 0; i < steps.size(); ++i) {
        const FunnelStep& step = steps[i];
        const int y = top + rowHeight * static_cast<int>(i);
        const double share = static_cast<double>(step.machines) / whole;
        const int barWidth = step.machines ? std::max(3, static_cast<int>(barSpan * share + 0.5)) : 0;
        const int x = barLeft + (barSpan - barWidth) / 2;
        svg += FormatString("<text x=\"%d\" y=\"%d\" text-anchor=\"end\" class=\"step\">%s</text>\n", labelWidth, y + 17,
                      step.english);
        svg += FormatString("<text x=\"%d\" y=\"%d\" text-anchor=\"end\" class=\"step-zh\">%s</text>\n", labelWidth, y + 35,
                      step.chinese);
        svg += FormatString("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#eef1f5\"/>\n", barLeft, y, barSpan,
                      barHeight);
        if (barWidth) {
            svg += FormatString("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"3\" fill=\"%s\"/>\n", x, y, barWidth,
                          barHeight, step.colour);
        }
        svg += FormatString("<text x=\"%d\" y=\"%d\" class=\"count\">%llu <tspan class=\"share\">%s</tspan></text>\n",
                      textLeft, y + 17, U(step.machines), PercentText(step.machines, f.opened).c_str());
        if (!step.dropped.empty()) {
            svg += FormatString("<text x=\"%d\" y=\"%d\" class=\"drop\">%s</text>\n", textLeft, y + 35,
                          EscapeHtml(step.dropped).c_str());
        }
        if (!step.why.empty()) {
            svg += FormatString("<text x=\"%d\" y=\"%d\" class=\"why\">%s</text>\n", textLeft, y + 52,
                          EscapeHtml(step.why).c_str());
        }
    }
    svg += "</svg>\n";
    return svg;
}

std::string DailyChart(const std::map<std::string, DayCounts>& days) {
    struct Series {
        const char* english;
        const char* chinese;
        const char* colour;
    };
    static const Series kSeries[] = {
        {"configurations loaded", "配置加载", chart_colour::kLoaded},
        {"started", "开始下载", chart_colour::kStarted},
        {"finished", "下载完成", chart_colour::kFinished},
        {"failed", "下载失败", chart_colour::kFailed},
    };
    auto values = [](const DayCounts& c) {
        return std::vector<uint64_t>{c[PortalEvent::ConfigLoaded], c.Started(), c[PortalEvent::Finished],
                                     c.Failed()};
    };
    uint64_t highest = 0;
    for (const auto& day : days) {
        for (uint64_t v : values(day.second)) highest = std::max(highest, v);
    }
    const uint64_t step = NiceStep(highest);
    const int gridlines = static_cast<int>(std::max<uint64_t>(1, (highest + step - 1) / step));
    const uint64_t ceiling = step * gridlines;

    const int width = 900, height = 290, left = 56, right = 16, top = 40, bottom = 48;
    const int plotWidth = width - left - right, plotHeight = height - top - bottom;
    const int count = std::max<int>(1, static_cast<int>(days.size()));
    const double group = std::min(150.0, static_cast<double>(plotWidth) / count);
    const double bar = group * 0.8 / 4;
    // A few days sit in the middle rather than at the left edge.
    const double offset = (plotWidth - group * count) / 2;
    // Bars wide enough carry their value.
    const bool labelled = bar >= 18;
    std::string svg = FormatString(
        "<svg class=\"daily\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
        "role=\"img\">\n",
        width, height, width, height);

    // Legend across the top.
    int legendX = left;
    for (const Series& series : kSeries) {
        svg += FormatString("<rect x=\"%d\" y=\"8\" width=\"14\" height=\"14\" rx=\"2\" fill=\"%s\"/>\n", legendX,
                      series.colour);
        std::string label = std::string(series.english) + " " + series.chinese;
        svg += FormatString("<text x=\"%d\" y=\"20\" class=\"legend\">%s</text>\n", legendX + 20, label.c_str());
        legendX += 20 + static_cast<int>(label.size()) * 6 + 24;
    }

    // Grid and scale.
    for (int line = 0; line <= gridlines; ++line) {
        const int y = top + plotHeight - plotHeight * line / gridlines;
        svg += FormatString("<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"%s\"/>\n", left, y, width - right, y,
                      line == 0 ? "#9aa5b1" : "#e3e7ec");
        svg += FormatString("<text x=\"%d\" y=\"%d\" text-anchor=\"end\" class=\"axis\">%llu</text>\n", left - 6, y + 4,
                      U(step * line));
    }

    // At most about 16 day labels fit; the others are left out.
    const int labelEvery = std::max(1, (count + 15) / 16);
    int index = 0;
    for (const auto& day : days) {
        const double x0 = left + offset + group * index + group * 0.1;
        const std::vector<uint64_t> v = values(day.second);
        for (size_t s = 0; s < v.size(); ++s) {
            const double h = static_cast<double>(plotHeight) * static_cast<double>(v[s]) / static_cast<double>(ceiling);
            if (v[s] == 0) continue;
            svg += FormatString(
                "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"><title>%s %s: %llu</title>"
                "</rect>\n",
                x0 + bar * s, top + plotHeight - h, std::max(1.0, bar - 1), std::max(1.0, h), kSeries[s].colour,
                day.first.empty() ? "undated" : day.first.c_str(), kSeries[s].english, U(v[s]));
            if (labelled) {
                svg += FormatString("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" class=\"value\">%llu</text>\n",
                              x0 + bar * s + bar / 2, top + plotHeight - h - 4, U(v[s]));
            }
        }
        if (index % labelEvery == 0) {
            const std::string label = day.first.empty() ? "undated 无日期" : day.first.substr(5);
            svg += FormatString("<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\" class=\"axis\">%s</text>\n",
                          left + offset + group * index + group / 2, top + plotHeight + 18, label.c_str());
        }
        ++index;
    }
    // With labels left out, the first and last day say where the bars run.
    if (labelEvery > 1 && !days.begin()->first.empty()) {
        svg += FormatString("<text x=\"%d\" y=\"%d\" class=\"axis\">%s … %s</text>\n", left, height - 8,
                      days.begin()->first.c_str(), days.rbegin()->first.c_str());
    }
    svg += "</svg>\n";
    return svg;
}
