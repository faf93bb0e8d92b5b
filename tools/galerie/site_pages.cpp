#include "tools/galerie/site_pages.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

struct OutcomeLook {
    const char* outcome;
    const char* label;
};

const std::array<OutcomeLook, 8> kOutcomeLooks = {{
    {"sound", "in Ordnung"},
    {"damaged", "beschädigt"},
    {"unreadable", "unlesbar"},
    {"no_picture", "kein Bild"},
    {"line_dropped", "Verbindung abgebrochen"},
    {"port_failed", "Port nicht geöffnet"},
    {"dial_failed", "Anwahl gescheitert"},
    {"store_failed", "nicht gespeichert"},
}};

std::string Head(const std::string& title, const std::string& root) {
    return "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'self'\">\n"
           "<title>" +
           EscapeHtml(title) + "</title>\n<link rel=\"icon\" href=\"" + root +
           "favicon.png\" type=\"image/png\">\n<link rel=\"stylesheet\" href=\"" + root +
           "galerie.css\">\n<script src=\"" + root + "aktuell.js\" defer></script>\n</head>\n";
}

std::string Legend() {
    std::string html = "<footer>\n<h2>Legende</h2>\n<ul class=\"legende\">\n";
    for (const OutcomeLook& look : kOutcomeLooks)
        html += std::string("<li><span class=\"muster o-") + look.outcome + "\">&#160;</span>" +
                look.label + "</li>\n";
    return html + "</ul>\n</footer>\n";
}

std::string AttemptTitle(const JournalEntry& entry) {
    std::string title = ShownTime(entry) + ", Versuch " + std::to_string(entry.attempt) + " von " +
                        std::to_string(entry.attempts) + ", " + OutcomeLabel(entry.outcome);
    if (entry.message)
        title += ": " + *entry.message;
    return title;
}

std::string Strip(const std::vector<const JournalEntry*>& attempts) {
    if (attempts.empty())
        return "<p>Keine Versuche in den letzten 24 Stunden.</p>\n";
    std::string html = "<ol class=\"streifen\">\n";
    for (const JournalEntry* entry : attempts) {
        const std::string title = EscapeHtml(AttemptTitle(*entry));
        html += "<li class=\"o-" + entry->outcome + "\" data-outcome=\"" + entry->outcome +
                "\" title=\"" + title + "\"><span class=\"vh\">" + title + "</span></li>\n";
    }
    return html + "</ol>\n";
}

std::string CountsTable(const std::map<std::string, int>& counts, const std::string& caption) {
    std::string html =
        "<table class=\"zahlen\">\n<caption>" + EscapeHtml(caption) + "</caption>\n<tbody>\n";
    for (const OutcomeLook& look : kOutcomeLooks) {
        const auto found = counts.find(look.outcome);
        if (found == counts.end())
            continue;
        html += std::string("<tr><th scope=\"row\"><span class=\"muster o-") + look.outcome +
                "\">&#160;</span>" + look.label + "</th><td>" + std::to_string(found->second) +
                "</td></tr>\n";
    }
    if (counts.empty())
        html += "<tr><td>noch keine Versuche</td></tr>\n";
    return html + "</tbody>\n</table>\n";
}

// Stacked bars, one per hour, in the outcomes' order; drawn here so the page
// needs nothing from elsewhere.
std::string HourChart(const DayPage& page) {
    std::array<std::map<std::string, int>, 24> hours;
    std::map<std::string, int> total;
    for (const JournalEntry* entry : page.attempts) {
        ++hours[static_cast<std::size_t>(std::stoi(entry->clockTime().substr(0, 2)) % 24)]
               [entry->outcome];
        ++total[entry->outcome];
    }
    int most = 1;
    for (const auto& hour : hours) {
        int sum = 0;
        for (const auto& [outcome, count] : hour)
            sum += count;
        most = std::max(most, sum);
    }
    std::string summary = "Versuche am " + ShownDay(page.day) + " je Stunde:";
    for (const OutcomeLook& look : kOutcomeLooks)
        if (total.count(look.outcome))
            summary += " " + std::to_string(total[look.outcome]) + " " + look.label + ",";
    if (summary.back() == ',')
        summary.back() = '.';
    else
        summary += " keine.";

    constexpr int kBarWidth = 20, kHeight = 160, kTop = 16, kLeft = 30;
    std::string svg = "<svg class=\"diagramm\" viewBox=\"0 0 " +
                      std::to_string(kLeft + 24 * kBarWidth + 4) + " " +
                      std::to_string(kTop + kHeight + 20) + "\" role=\"img\" aria-label=\"" +
                      EscapeHtml(summary) + "\">\n<title>" + EscapeHtml(summary) + "</title>\n";
    svg += "<text x=\"2\" y=\"" + std::to_string(kTop + 4) + "\">" + std::to_string(most) +
           "</text>\n<line class=\"achse\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" +
           std::to_string(kTop + kHeight) + "\" x2=\"" + std::to_string(kLeft + 24 * kBarWidth) +
           "\" y2=\"" + std::to_string(kTop + kHeight) + "\"/>\n";
    for (int hour = 0; hour < 24; ++hour) {
        const int x = kLeft + hour * kBarWidth + 2;
        int y = kTop + kHeight;
        for (const OutcomeLook& look : kOutcomeLooks) {
            const auto found = hours[static_cast<std::size_t>(hour)].find(look.outcome);
            if (found == hours[static_cast<std::size_t>(hour)].end())
                continue;
            const int height = std::max(1, found->second * kHeight / most);
            y -= height;
            char hourText[8];
            std::snprintf(hourText, sizeof hourText, "%02d", hour);
            svg += "<rect class=\"o-" + std::string(look.outcome) + "\" x=\"" + std::to_string(x) +
                   "\" y=\"" + std::to_string(y) + "\" width=\"" + std::to_string(kBarWidth - 4) +
                   "\" height=\"" + std::to_string(height) + "\"><title>" + hourText +
                   " Uhr: " + std::to_string(found->second) + " " + look.label +
                   "</title></rect>\n";
        }
        if (hour % 3 == 0)
            svg += "<text x=\"" + std::to_string(x) + "\" y=\"" +
                   std::to_string(kTop + kHeight + 16) + "\">" + std::to_string(hour) + "</text>\n";
    }
    return svg + "</svg>\n";
}

std::string PictureFigure(const std::string& station, const PagePicture& picture) {
    const JournalEntry& entry = *picture.entry;
    std::string html = "<li><a href=\"" + EscapeHtml(picture.href) + "\">";
    if (picture.thumbnail)
        html += "<img src=\"" + EscapeHtml(*picture.thumbnail) + "\" alt=\"" +
                EscapeHtml(PictureAlt(station, entry)) + "\">";
    else
        html += "<span class=\"ohne\">" + EscapeHtml(PictureAlt(station, entry)) +
                " (keine Vorschau)</span>";
    html += "</a>\n<p>" + EscapeHtml(entry.clockTime());
    if (entry.outcome != "sound")
        html += " <strong class=\"urteil\">" + OutcomeLabel(entry.outcome) + "</strong>";
    return html + "</p></li>\n";
}

std::string Notes(const std::vector<std::string>& notes) {
    if (notes.empty())
        return {};
    std::string html = "<ul class=\"hinweise\">\n";
    for (const std::string& note : notes)
        html += "<li>" + EscapeHtml(note) + "</li>\n";
    return html + "</ul>\n";
}

} // namespace

std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string EscapeUrlPath(std::string_view path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') ||
            std::string_view("-._~/").find(c) != std::string_view::npos) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 15];
        }
    }
    return escaped;
}

std::string OutcomeLabel(const std::string& outcome) {
    for (const OutcomeLook& look : kOutcomeLooks)
        if (outcome == look.outcome)
            return look.label;
    return outcome;
}

std::string ShownDay(const std::string& day) {
    return day.substr(8, 2) + "." + day.substr(5, 2) + "." + day.substr(0, 4);
}

std::string ShownTime(const JournalEntry& entry) {
    return ShownDay(entry.day()) + " " + entry.clockTime();
}

std::string PictureAlt(const std::string& station, const JournalEntry& entry) {
    return station + ", " + ShownTime(entry) + ", " + OutcomeLabel(entry.outcome);
}

std::string DayPageName(const std::string& day) {
    return day + ".html";
}

std::string RenderDayPage(const DayPage& page) {
    const std::string title = page.station + " – " + ShownDay(page.day);
    std::string html = Head(title, "../") + "<body>\n<header>\n<nav aria-label=\"Seiten\">" +
                       "<a href=\"../index.html\">Übersicht</a>";
    html += page.dayBefore ? " · <a rel=\"prev\" href=\"" + DayPageName(*page.dayBefore) +
                                 "\">Vortag (" + ShownDay(*page.dayBefore) + ")</a>"
                           : std::string(" · kein Vortag");
    html += page.dayAfter ? " · <a rel=\"next\" href=\"" + DayPageName(*page.dayAfter) +
                                "\">Folgetag (" + ShownDay(*page.dayAfter) + ")</a>"
                          : std::string(" · kein Folgetag");
    html += "</nav>\n<h1>" + EscapeHtml(title) + "</h1>\n</header>\n<main>\n";
    html += "<section aria-labelledby=\"stunden\">\n<h2 id=\"stunden\">Versuche je Stunde</h2>\n" +
            HourChart(page) + "</section>\n";
    html += "<section aria-labelledby=\"bilder\">\n<h2 id=\"bilder\">Bilder</h2>\n";
    if (page.pictures.empty()) {
        html += "<p>An diesem Tag kam kein Bild.</p>\n";
    } else {
        html += "<ul class=\"bilder\">\n";
        for (const PagePicture& picture : page.pictures)
            html += PictureFigure(page.station, picture);
        html += "</ul>\n";
    }
    return html + "</section>\n</main>\n" + Legend() + "</body>\n</html>\n";
}

std::string RenderOverview(const std::vector<StationCard>& cards, const std::string& builtAt) {
    std::string html =
        Head("Merlon-Kameras", "") +
        "<body>\n<header>\n<h1>Merlon-Kameras</h1>\n<p>Stand: " + EscapeHtml(builtAt) +
        "</p>\n</header>\n<main class=\"karten\">\n";
    int number = 0;
    for (const StationCard& card : cards) {
        const std::string id = "station-" + std::to_string(++number);
        html += "<section class=\"karte\" aria-labelledby=\"" + id + "\">\n<h2 id=\"" + id + "\">";
        html += card.newestDayHref.empty() ? EscapeHtml(card.station)
                                           : "<a href=\"" + EscapeHtml(card.newestDayHref) + "\">" +
                                                 EscapeHtml(card.station) + "</a>";
        html += "</h2>\n";
        if (!card.port.empty())
            html += "<p class=\"port\">Port " + EscapeHtml(card.port) + "</p>\n";
        if (card.noSoundForThreeIntervals)
            html += "<p class=\"warnung\"><strong>Warnung:</strong> seit drei Intervallen kein "
                    "brauchbares Bild</p>\n";
        if (card.newestSound) {
            const PagePicture& picture = *card.newestSound;
            html += "<figure>\n<a href=\"" + EscapeHtml(picture.href) + "\"><img src=\"" +
                    EscapeHtml(picture.href) + "\" alt=\"" +
                    EscapeHtml(PictureAlt(card.station, *picture.entry)) +
                    "\"></a>\n<figcaption>Letztes Bild in Ordnung: " +
                    EscapeHtml(ShownTime(*picture.entry)) + "</figcaption>\n</figure>\n";
        } else {
            html += "<p>Noch kein Bild in Ordnung.</p>\n";
        }
        html +=
            CountsTable(card.todaysCounts, card.today.empty() ? std::string("Heute")
                                                              : "Heute, " + ShownDay(card.today));
        html += "<h3>Die letzten 24 Stunden</h3>\n" + Strip(card.lastDay) + Notes(card.notes) +
                "</section>\n";
    }
    if (cards.empty())
        html += "<p>Kein Protokoll gelesen.</p>\n";
    return html + "</main>\n" + Legend() + "</body>\n</html>\n";
}

std::string SiteStyleSheet() {
    return R"(/* merlon-galerie: the station's web site */
body { font-family: sans-serif; margin: 1rem; color: #1f2328; background: #fff; }
a { color: #0a4fa6; }
.karten { display: grid; grid-template-columns: repeat(auto-fill, minmax(22rem, 1fr)); gap: 1rem; }
.karte { border: 1px solid #8c959f; border-radius: 6px; padding: 0 1rem 1rem; }
.karte img { max-width: 100%; height: auto; }
.warnung { background: #fff1e5; border-left: 4px solid #a40e26; padding: .5rem; color: #1f2328; }
.port { color: #57606a; margin-top: 0; }
.zahlen th { text-align: left; font-weight: normal; padding-right: 1rem; }
.streifen { display: flex; align-items: flex-end; list-style: none; padding: 0; margin: 0;
  height: 2rem; border-bottom: 1px solid #57606a; }
.streifen li { flex: 1 1 0; min-width: 2px; max-width: 12px; margin-right: 1px; height: 40%; }
.streifen li.o-sound { height: 100%; }
.streifen li.o-damaged, .streifen li.o-unreadable { height: 70%; }
.muster { display: inline-block; width: .9em; height: .9em; margin-right: .4em; vertical-align: -.1em; }
.legende { list-style: none; padding: 0; display: flex; flex-wrap: wrap; gap: .3rem 1.2rem; }
.bilder { list-style: none; padding: 0; display: flex; flex-wrap: wrap; gap: .8rem; }
.bilder li { width: 160px; }
.bilder img { width: 160px; height: auto; display: block; }
.bilder p { margin: .2rem 0; }
.urteil { color: #a40e26; }
.ohne { display: block; width: 160px; padding: 2rem 0; text-align: center; border: 1px dashed #57606a; }
.diagramm { max-width: 40rem; width: 100%; }
.diagramm text { font-size: 11px; fill: #1f2328; }
.diagramm .achse { stroke: #57606a; }
.vh { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0);
  white-space: nowrap; }
/* At least 3:1 against the white page; the strip tells outcomes by height too. */
.o-sound { background: #1a7f37; fill: #1a7f37; }
.o-damaged { background: #bc4c00; fill: #bc4c00; }
.o-unreadable { background: #8250df; fill: #8250df; }
.o-no_picture { background: #6e7781; fill: #6e7781; }
.o-line_dropped { background: #cf222e; fill: #cf222e; }
.o-port_failed { background: #82071e; fill: #82071e; }
.o-dial_failed { background: #0550ae; fill: #0550ae; }
.o-store_failed { background: #24292f; fill: #24292f; }
)";
}

std::string SiteScript() {
    return R"(// merlon-galerie: loads the page anew once the builder has replaced it, so
// that a new attempt shows within a minute. The page reads fine without it.
(function () {
  var seen = null;
  function look() {
    fetch(location.href, { method: "HEAD", cache: "no-store" }).then(function (answer) {
      var stand = answer.headers.get("ETag") || answer.headers.get("Last-Modified");
      if (!answer.ok || !stand) return;
      if (seen !== null && stand !== seen) location.reload();
      seen = stand;
    }).catch(function () {});
  }
  look();
  setInterval(look, 30000);
})();
)";
}
