// The pages of the station's web site as text: the overview with one card
// per station and one page per station and day. Everything taken from a
// journal is escaped here; the pages need no script to be read, and link
// nothing from another host.
#pragma once

#include "tools/galerie/journal.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text and attribute values made safe for HTML.
std::string EscapeHtml(std::string_view text);
// A path inside the site as an address: every byte but letters, digits and
// "-._~/" percent-encoded.
std::string EscapeUrlPath(std::string_view path);

// The German word for an outcome ("in Ordnung", "beschädigt" …).
std::string OutcomeLabel(const std::string& outcome);
// "09.12.2026 04:10:00", in the station's time as written.
std::string ShownTime(const JournalEntry& entry);
std::string ShownDay(const std::string& day); // "2026-12-09" -> "09.12.2026"
// "Hof, 09.12.2026 04:10:00, beschädigt"
std::string PictureAlt(const std::string& station, const JournalEntry& entry);

// A picture on a page: the entry that named it and where it lies in the site,
// relative to the page.
struct PagePicture {
    const JournalEntry* entry = nullptr;
    std::string href;
    std::optional<std::string> thumbnail; // none when the picture cannot be decoded
};

struct DayPage {
    std::string station;
    std::string day;
    std::optional<std::string> dayBefore; // days of the journal next to this one
    std::optional<std::string> dayAfter;
    std::vector<const JournalEntry*> attempts; // the day's, in time order
    std::vector<PagePicture> pictures;         // in time order
};

struct StationCard {
    std::string station;
    std::string port;
    std::string newestDayHref;                // relative to the overview
    std::optional<PagePicture> newestSound;   // the stored picture itself
    std::map<std::string, int> todaysCounts;  // by outcome
    std::string today;                        // the station's day now
    std::vector<const JournalEntry*> lastDay; // the last 24 hours, in time order
    bool noSoundForThreeIntervals = false;
    std::vector<std::string> notes; // what could not be read
};

std::string RenderDayPage(const DayPage& page);
std::string RenderOverview(const std::vector<StationCard>& cards, const std::string& builtAt);

// The style sheet and the script the pages share, and the name a day's page
// has within its station's folder.
std::string SiteStyleSheet();
std::string SiteScript();
std::string DayPageName(const std::string& day);
