#include "tools/galerie/site_builder.h"

#include "picture/jpeg_thumbnail.h"
#include "platform/user_error.h"
#include "tools/galerie/journal.h"
#include "tools/galerie/site_files.h"
#include "tools/galerie/site_icon.h"
#include "tools/galerie/site_pages.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace {

// Raised whenever the pages' form changes, so that every day is made anew.
constexpr int kSiteForm = 1;
constexpr int kThumbnailWidth = 160; // as the day pages show them
constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
const char kStateName[] = ".galerie-stand.json";

std::string Slug(const std::string& name, std::set<std::string>& taken) {
    std::string slug;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        slug += plain ? c : '_';
    }
    if (slug.empty() || slug[0] == '.' || slug[0] == '_')
        slug = "station" + slug;
    std::string unique = slug;
    for (int number = 2; !taken.insert(unique).second; ++number)
        unique = slug + "-" + std::to_string(number);
    return unique;
}

std::string DayOf(std::int64_t epochMs, int offsetSeconds) {
    return QDateTime::fromMSecsSinceEpoch(epochMs + offsetSeconds * 1000LL, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd"))
        .toStdString();
}

std::string JpgName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? name.substr(0, dot) : name) + ".jpg";
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// One station's part of the build.
class StationBuild {
public:
    StationBuild(const GalleryRequest& request, Journal journal, std::string slug, QJsonObject days,
                 GalleryReport& report)
        : request_(request), journal_(std::move(journal)), name_(StationName(journal_.path)),
          slug_(std::move(slug)), folder_(request.target + "/" + slug_), oldDays_(std::move(days)),
          report_(report) {
        std::stable_sort(
            journal_.entries.begin(), journal_.entries.end(),
            [](const JournalEntry& a, const JournalEntry& b) { return a.epochMs < b.epochMs; });
        for (const JournalEntry& entry : journal_.entries)
            byDay_[entry.day()].push_back(&entry);
    }

    // Makes the day pages that changed; returns what the state file keeps.
    QJsonObject buildDays() {
        if (!MakeFolders(folder_))
            throw UserError("Zielordner " + folder_ + " kann nicht angelegt werden");
        QJsonObject kept;
        for (auto day = byDay_.begin(); day != byDay_.end(); ++day) {
            const auto before = day == byDay_.begin() ? byDay_.end() : std::prev(day);
            const auto after = std::next(day);
            DayPage page;
            page.station = name_;
            page.day = day->first;
            if (before != byDay_.end())
                page.dayBefore = before->first;
            if (after != byDay_.end())
                page.dayAfter = after->first;
            page.attempts = day->second;
            const QString print = fingerprint(page);
            const std::string path = folder_ + "/" + DayPageName(page.day);
            const QString key = QString::fromStdString(page.day);
            if (oldDays_.value(key).toString() == print && FileExists(path)) {
                kept.insert(key, print);
                continue;
            }
            bool complete = true;
            for (const JournalEntry* entry : page.attempts)
                if (std::optional<PagePicture> picture = place(*entry, "", true, complete))
                    page.pictures.push_back(std::move(*picture));
            WriteSiteFile(path, RenderDayPage(page));
            ++report_.dayPagesWritten;
            // A picture that could not be read is tried again next time.
            if (complete)
                kept.insert(key, print);
        }
        return kept;
    }

    StationCard card() {
        StationCard card;
        card.station = name_;
        card.notes = journal_.notes;
        if (journal_.entries.empty())
            return card;
        const JournalEntry& newest = journal_.entries.back();
        card.port = newest.port;
        card.newestDayHref = slug_ + "/" + DayPageName(newest.day());
        card.today = DayOf(request_.nowMs, newest.offsetSeconds);
        std::optional<std::int64_t> intervalMs;
        if (newest.intervalSeconds && *newest.intervalSeconds > 0)
            intervalMs = static_cast<std::int64_t>(*newest.intervalSeconds * 1000);
        std::vector<std::int64_t> gaps;
        const JournalEntry* newestSound = nullptr;
        for (const JournalEntry& entry : journal_.entries) {
            if (entry.outcome == "sound")
                newestSound = &entry;
            if (entry.day() == card.today)
                ++card.todaysCounts[entry.outcome];
            if (entry.epochMs > request_.nowMs - kDayMs && entry.epochMs <= request_.nowMs) {
                if (!card.lastDay.empty())
                    gaps.push_back(entry.epochMs - card.lastDay.back()->epochMs);
                card.lastDay.push_back(&entry);
            }
        }
        // Without the interval in the journal, the usual gap between attempts.
        if (!intervalMs && !gaps.empty()) {
            std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2),
                             gaps.end());
            intervalMs = gaps[gaps.size() / 2];
        }
        // The newest sound picture that can be shown; the day's page has
        // reported those that cannot.
        for (auto entry = journal_.entries.rbegin();
             entry != journal_.entries.rend() && !card.newestSound; ++entry) {
            bool quiet = false;
            if (entry->outcome == "sound")
                card.newestSound = place(*entry, slug_ + "/", false, quiet);
        }
        const std::int64_t since =
            newestSound ? newestSound->epochMs : journal_.entries.front().epochMs;
        card.noSoundForThreeIntervals =
            intervalMs && *intervalMs > 0 && request_.nowMs - since > 3 * *intervalMs;
        return card;
    }

private:
    QString fingerprint(const DayPage& page) const {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        const std::string head = std::to_string(kSiteForm) + '\n' + name_ + '\n' +
                                 page.dayBefore.value_or("") + '\n' + page.dayAfter.value_or("") +
                                 '\n';
        hash.addData(QByteArrayView(head.data(), static_cast<qsizetype>(head.size())));
        for (const JournalEntry* entry : page.attempts) {
            hash.addData(
                QByteArrayView(entry->line.data(), static_cast<qsizetype>(entry->line.size())));
            hash.addData(QByteArrayView("\n", 1));
        }
        return QString::fromLatin1(hash.result().toHex());
    }

    // Links the picture an attempt names into the site and makes its
    // thumbnail, once each; the hrefs are relative to a page in `base`.
    // `complete` starts false for a quiet look that reports nothing.
    std::optional<PagePicture> place(const JournalEntry& entry, const std::string& base,
                                     bool thumbnail, bool& complete) {
        const bool quiet = !complete;
        if (!entry.file)
            return std::nullopt;
        std::string reason;
        const std::optional<PictureLocation> location =
            LocatePicture(journal_.path, *entry.file, reason);
        if (!location) {
            if (!quiet)
                fault(journal_.path + ": " + ShownTime(entry) + ": " + reason);
            complete = false;
            return std::nullopt;
        }
        const std::string inSite = "bilder/" + location->insideFolder;
        const std::string thumbInSite = "vorschau/" + JpgName(location->insideFolder);
        PagePicture picture{&entry, EscapeUrlPath(base + inSite), std::nullopt};
        try {
            const std::string placed = folder_ + "/" + inSite;
            if (!FileExists(placed)) {
                if (!MakeFolders(FolderOf(placed)))
                    throw UserError("Ordner für " + placed + " kann nicht angelegt werden");
                PlaceSitePicture(location->path, placed);
            }
            if (!thumbnail)
                return picture;
            const std::string thumb = folder_ + "/" + thumbInSite;
            if (!FileExists(thumb)) {
                std::optional<JpegThumbnail> made =
                    MakeJpegThumbnail(ReadSiteInput(location->path), kThumbnailWidth);
                if (!made)
                    return picture;
                if (!MakeFolders(FolderOf(thumb)))
                    throw UserError("Ordner für " + thumb + " kann nicht angelegt werden");
                WriteSiteFile(thumb, made->bytes);
                ++report_.thumbnailsMade;
            }
            picture.thumbnail = EscapeUrlPath(base + thumbInSite);
        } catch (const UserError& error) {
            if (!quiet)
                fault(journal_.path + ": " + error.what());
            complete = false;
            return std::nullopt;
        }
        return picture;
    }

    void fault(const std::string& note) {
        report_.notes.push_back(note);
        report_.faulty = true;
    }

    const GalleryRequest& request_;
    Journal journal_;
    std::string name_;
    std::string slug_;
    std::string folder_;
    QJsonObject oldDays_;
    GalleryReport& report_;
    std::map<std::string, std::vector<const JournalEntry*>> byDay_;
};

QJsonObject ReadState(const std::string& path) {
    if (!FileExists(path))
        return {};
    try {
        return QJsonDocument::fromJson(QByteArray::fromStdString(ReadSiteInput(path))).object();
    } catch (const UserError&) {
        return {}; // then every page is made anew
    }
}

} // namespace

std::string StationName(const std::string& journalPath) {
    std::string base = journalPath.substr(journalPath.rfind('/') + 1);
    const std::size_t dot = base.find('.');
    const std::string stem = base.substr(0, dot);
    if (stem != "protokoll" && !stem.empty())
        return stem;
    const std::size_t slash = journalPath.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return stem.empty() ? base : stem;
    const std::string folder = journalPath.substr(0, slash);
    return folder.substr(folder.rfind('/') + 1);
}

GalleryReport BuildGallery(const GalleryRequest& request) {
    if (!MakeFolders(request.target))
        throw UserError("Zielordner " + request.target + " kann nicht angelegt werden");
    GalleryReport report;
    const std::string statePath = request.target + "/" + kStateName;
    const QJsonObject oldState = ReadState(statePath);
    QJsonObject state;
    state.insert(QStringLiteral("form"), kSiteForm);
    const bool sameForm = oldState.value(QStringLiteral("form")).toInt() == kSiteForm;
    QJsonObject stations;
    std::vector<StationCard> cards;
    // The cards point into the stations' journals, kept until the overview is written.
    std::vector<std::unique_ptr<StationBuild>> built;
    std::set<std::string> slugs;
    for (const std::string& path : request.journals) {
        Journal journal = ReadJournal(path);
        for (const std::string& note : journal.notes)
            report.notes.push_back(note);
        report.faulty = report.faulty || journal.faulty;
        const std::string slug = Slug(StationName(path), slugs);
        const QString key = QString::fromStdString(slug);
        QJsonObject days =
            sameForm ? oldState.value(QStringLiteral("stations")).toObject().value(key).toObject()
                     : QJsonObject();
        built.push_back(
            std::make_unique<StationBuild>(request, std::move(journal), slug, days, report));
        stations.insert(key, built.back()->buildDays());
        cards.push_back(built.back()->card());
    }
    state.insert(QStringLiteral("stations"), stations);

    WriteSiteFileIfChanged(request.target + "/galerie.css", SiteStyleSheet());
    WriteSiteFileIfChanged(request.target + "/aktuell.js", SiteScript());
    WriteSiteFileIfChanged(request.target + "/favicon.png", SiteIcon());
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(request.nowMs);
    WriteSiteFile(
        request.target + "/index.html",
        RenderOverview(cards, now.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")).toStdString()));
    WriteSiteFile(statePath, QJsonDocument(state).toJson(QJsonDocument::Compact).toStdString());
    return report;
}
