#include "tools/stats/HtmlReport.h"

#include "tools/stats/SvgCharts.h"
#include "tools/stats/TextReport.h"

namespace {

const char kStyle[] = R"(
body { margin: 0; background: #f5f7fa; color: #1d2733;
       font-family: "Noto Sans CJK SC", "WenQuanYi Micro Hei", "Microsoft YaHei", "PingFang SC", sans-serif;
       font-size: 14px; }
main { max-width: 1000px; margin: 0 auto; padding: 20px 16px 40px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 18px; margin: 0 0 2px; }
h3 { font-size: 14px; margin: 18px 0 6px; color: #4a5868; font-weight: 600; }
.sub { color: #5c6b7a; margin: 0 0 14px; }
.card { background: #fff; border: 1px solid #dde3ea; border-radius: 8px; padding: 16px 18px; margin: 16px 0; }
.answer { font-size: 16px; margin: 6px 0 10px; }
.answer b { font-size: 20px; }
table { border-collapse: collapse; width: 100%; font-variant-numeric: tabular-nums; }
th, td { padding: 4px 6px; border-bottom: 1px solid #e6eaef; text-align: right; white-space: nowrap; }
th { font-weight: 600; color: #4a5868; font-size: 11px; vertical-align: bottom; white-space: normal; }
th.fail { color: #b3362d; }
svg { max-width: 100%; height: auto; display: block; }
th:first-child, td:first-child { text-align: left; }
tr.total td { font-weight: 600; border-top: 2px solid #c9d2dc; }
td.fail { color: #b3362d; }
.note { color: #5c6b7a; font-size: 12px; margin: 6px 0 0; }
svg text { font-family: inherit; fill: #1d2733; }
svg .step { font-size: 14px; font-weight: 600; }
svg .step-zh, svg .axis, svg .legend { font-size: 12px; fill: #4a5868; }
svg .count { font-size: 16px; font-weight: 600; }
svg .share { font-size: 13px; font-weight: 400; fill: #4a5868; }
svg .drop { font-size: 12px; fill: #b3362d; font-weight: 600; }
svg .why { font-size: 12px; fill: #b3362d; }
svg .value { font-size: 11px; fill: #4a5868; }
)";

std::string GameTitle(const std::string& game, const std::map<std::string, std::string>& names) {
    auto name = names.find(game);
    std::string title = "Game 游戏 " + EscapeHtml(game);
    if (name != names.end() && !name->second.empty()) title += " · " + EscapeHtml(name->second);
    return title;
}

void WriteSummary(const StatsBook& book, const std::map<std::string, std::string>& names, std::ostream& out) {
    out << "<section class=\"card\"><h2>Games 游戏一览</h2>\n<table><tr><th>game 游戏</th>"
           "<th>opened the downloader<br>打开下载器</th><th>started<br>开始下载</th><th>finished<br>下载完成</th>"
           "<th>got the game<br>获得游戏</th><th>opened → got the game<br>转化率</th>"
           "<th>configurations loaded<br>配置加载</th><th>finished per load<br>完成/加载</th></tr>\n";
    bool any = false;
    for (const auto& entry : book.Games()) {
        if (entry.first.empty()) continue;
        any = true;
        const GameFunnel f = entry.second.Funnel();
        const DayCounts total = entry.second.Total();
        auto name = names.find(entry.first);
        out << "<tr><td>" << EscapeHtml(entry.first);
        if (name != names.end() && !name->second.empty()) out << " " << EscapeHtml(name->second);
        out << "</td><td>" << f.opened << "</td><td>" << f.started << "</td><td>" << f.finished << "</td><td>"
            << f.sound << "</td><td><b>" << PercentText(f.sound, f.opened) << "</b></td><td>"
            << total[PortalEvent::ConfigLoaded] << "</td><td>"
            << PercentText(total[PortalEvent::Finished], total[PortalEvent::ConfigLoaded]) << "</td></tr>\n";
    }
    if (!any) out << "<tr><td colspan=\"8\">No downloader requests in these logs 日志中没有下载器的请求</td></tr>\n";
    out << "</table>\n<p class=\"note\">Machines are counted by the machine identifier the downloader sends "
           "(按机器码计数): a download resumed five times is one player. The last two columns count requests.</p>"
           "</section>\n";
}

void WriteDayRow(const std::string& label, const DayCounts& c, bool total, std::ostream& out) {
    auto cell = [&](uint64_t v, bool fail) {
        out << (fail && v ? "<td class=\"fail\">" : "<td>") << v << "</td>";
    };
    out << (total ? "<tr class=\"total\">" : "<tr>") << "<td>" << EscapeHtml(label) << "</td>";
    cell(c[PortalEvent::ConfigLoaded], false);
    cell(c[PortalEvent::StartedWithCompanion], false);
    cell(c[PortalEvent::StartedWithoutCompanion], false);
    cell(c[PortalEvent::Continued], false);
    cell(c[PortalEvent::Finished], false);
    out << "<td>" << PercentText(c[PortalEvent::Finished], c[PortalEvent::ConfigLoaded]) << "</td>";
    cell(c[PortalEvent::Stalled], true);
    cell(c[PortalEvent::SourceRefused], true);
    cell(c[PortalEvent::WriteFailed], true);
    cell(c[PortalEvent::ChecksFailed], true);
    cell(c[PortalEvent::DownloadAgain], false);
    cell(c[PortalEvent::CompanionSetup], false);
    out << "</tr>\n";
}

void WriteDayTable(const GameStats& game, std::ostream& out) {
    // Short headings, so that the table fits the card; the note under the
    // page says what each failure is.
    out << "<table><tr><th>day 日期</th><th>configs loaded<br>配置加载</th><th>started with companion<br>带伴侣</th>"
           "<th>started without<br>不带伴侣</th><th>continued<br>继续</th><th>finished<br>完成</th>"
           "<th>finished per load<br>完成/加载</th><th class=\"fail\">stalled<br>停滞</th>"
           "<th class=\"fail\">source refused<br>源拒绝</th><th class=\"fail\">write failed<br>写入失败</th>"
           "<th class=\"fail\">checks failed<br>校验失败</th><th>download again<br>重新下载</th>"
           "<th>companion setups<br>伴侣安装</th></tr>\n";
    for (const auto& day : game.days) WriteDayRow(day.first.empty() ? "undated 无日期" : day.first, day.second, false, out);
    if (game.days.size() > 1) WriteDayRow("total 合计", game.Total(), true, out);
    out << "</table>\n";
}

// Where most of those who did not get the game dropped out.
void WriteLargestLoss(const GameFunnel& f, std::ostream& out) {
    struct Loss {
        uint64_t machines;
        const char* english;
        const char* chinese;
    };
    const Loss losses[] = {
        {f.neverStarted, "opened the downloader but never pressed start", "打开下载器后未点击下载"},
        {f.started - f.finished, "started but did not finish", "开始下载但未完成"},
        {f.checksFailed, "finished with a file that failed its checks", "下载完成但文件校验失败"},
    };
    const Loss* largest = nullptr;
    for (const Loss& loss : losses) {
        if (loss.machines && (!largest || loss.machines > largest->machines)) largest = &loss;
    }
    if (!largest) return;
    out << "<br>Most lost: <b>" << largest->machines << "</b> " << largest->english << ". 流失最多：" << largest->machines
        << " 台" << largest->chinese << "。";
}

void WriteGame(const std::string& id, const GameStats& game, const std::map<std::string, std::string>& names,
               std::ostream& out) {
    const GameFunnel f = game.Funnel();
    const DayCounts total = game.Total();
    out << "<section class=\"card game\" id=\"game-" << EscapeHtml(id) << "\"><h2>" << GameTitle(id, names)
        << "</h2>\n";
    out << "<p class=\"answer\">Of <b>" << f.opened << "</b> " << (f.opened == 1 ? "machine" : "machines")
        << " that opened the downloader, <b>" << f.sound
        << "</b> got the game (" << PercentText(f.sound, f.opened) << ").<br>打开下载器的 " << f.opened
        << " 台机器中，" << f.sound << " 台获得了游戏（" << PercentText(f.sound, f.opened) << "）。";
    WriteLargestLoss(f, out);
    out << "</p>\n";
    out << "<h3>Funnel, in machines 漏斗（按机器）</h3>\n" << FunnelChart(f);
    out << "<h3>Per day, in requests 每日请求数</h3>\n" << DailyChart(game.days);
    WriteDayTable(game, out);
    if (total[PortalEvent::Stalled]) {
        out << "<p class=\"note\">Stalled downloads were given up at " << total.stalledPercentageSum / total[PortalEvent::Stalled]
            << "% on average (停滞时平均进度).</p>\n";
    }
    if (total[PortalEvent::ConfigMissing]) {
        out << "<p class=\"note\">Configuration requests not served (404 and the like) 配置获取失败: "
            << total[PortalEvent::ConfigMissing] << "</p>\n";
    }
    for (const auto& shape : game.unrecognised) {
        out << "<p class=\"note\">Unrecognised report 无法识别的统计: <code>" << EscapeHtml(shape.first) << "</code> × "
            << shape.second << "</p>\n";
    }
    out << "</section>\n";
}

}  // namespace

void WriteHtmlReport(const StatsBook& book, const std::map<std::string, std::string>& names,
                     const std::vector<std::string>& files, std::ostream& out) {
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>Downloader statistics 下载统计</title>\n<style>"
        << kStyle << "</style></head>\n<body><main>\n<h1>Downloader statistics 下载统计</h1>\n<p class=\"sub\">";
    const std::vector<std::string> days = book.Days();
    if (!days.empty()) {
        const std::string& first = days.front().empty() && days.size() > 1 ? days[1] : days.front();
        out << EscapeHtml(first.empty() ? "undated 无日期" : first);
        if (days.back() != first) out << " … " << EscapeHtml(days.back());
        out << " · ";
    }
    out << book.Lines() << " lines 行, " << book.Malformed() << " malformed, skipped 格式错误已跳过, "
        << book.OtherRequests() << " other requests 其他请求 · ";
    for (size_t i = 0; i < files.size(); ++i) out << (i ? ", " : "") << "<code>" << EscapeHtml(files[i]) << "</code>";
    out << "</p>\n";

    WriteSummary(book, names, out);
    for (const auto& entry : book.Games()) {
        if (!entry.first.empty()) WriteGame(entry.first, entry.second, names, out);
    }
    auto orphan = book.Games().find("");
    if (orphan != book.Games().end()) {
        const DayCounts total = orphan->second.Total();
        out << "<section class=\"card\"><h2>Not tied to a game 无法对应游戏</h2>\n";
        if (total[PortalEvent::CompanionSetup]) {
            out << "<p class=\"note\">Companion setups launched by machines that started no game with the companion "
                   "伴侣安装（无对应游戏）: "
                << total[PortalEvent::CompanionSetup] << "</p>\n";
        }
        for (const auto& shape : orphan->second.unrecognised) {
            out << "<p class=\"note\">Unrecognised report 无法识别的统计: <code>" << EscapeHtml(shape.first)
                << "</code> × " << shape.second << "</p>\n";
        }
        out << "</section>\n";
    }
    out << "<p class=\"note\">Failures 失败: stalled — no progress through four restarts, given up; source refused — "
           "the download source refused the game; write failed — the game's file could not be written; file checks — "
           "the finished file's size or MD5 did not match. A finished download that failed its checks is also "
           "counted as finished.</p>\n</main></body></html>\n";
}
