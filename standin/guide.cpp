#include "standin/guide.h"

#include "standin/protocol.h"

#include <ctime>

namespace standin {

namespace {

uint64_t mix(const std::string& text, uint64_t n) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
    h = (h ^ n) * 1099511628211ULL;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 32;
    return h;
}

struct genre_titles {
    const char* genre;
    std::vector<const char*> titles;
};

const std::vector<genre_titles>& all_titles() {
    static const std::vector<genre_titles> table = {
        {"news", {"Новините", "Светът днес", "Делови новини", "Панорама", "Темата на деня", "Времето", "Лице в лице"}},
        {"sport", {"Футбол: Първа лига", "Спортна треска", "Баскетбол на живо", "Тенис: финали", "Голове и точки", "Лека атлетика"}},
        {"film", {"Последният влак", "Сянката на града", "Лятна буря", "Пътят към дома", "Нощен патрул", "Старата воденица"}},
        {"kids", {"Приказки за лека нощ", "Малкият откривател", "Весели анимации", "Зайо и приятели", "Училище за чудеса"}},
        {"music", {"Хитовете на седмицата", "Музика без край", "На живо от сцената", "Златни години", "Нови клипове"}},
        {"nature", {"Дивата планета", "Океаните", "Птиците на Странджа", "Живот в пустинята", "Горските пазители"}},
        {"science", {"Как работи светът", "Космически хоризонти", "Изобретения", "Умни машини", "Тайните на клетката"}},
        {"cooking", {"Вкусно с Мария", "Кухнята на баба", "Бързо и лесно", "Сладки изкушения", "Вкусът на Балканите"}},
        {"history", {"Забравени царства", "Битките, които промениха света", "Тракийското злато", "Личности"}},
        {"travel", {"По света", "Градове на Европа", "Пътешествие на изток", "Родопски пътеки", "Островите"}},
        {"general", {"Добро утро", "Следобед с вас", "Вечерно шоу", "Документален час", "Късно вечер"}},
    };
    return table;
}

const std::vector<const char*>& titles_for(const std::string& genre) {
    for (const genre_titles& g : all_titles())
        if (genre == g.genre) return g.titles;
    return all_titles().back().titles;
}

const char* const comments[] = {
    "Премиера.", "Повторение от миналата седмица.", "Нов епизод.", "На живо.",
    "Подходящо за цялото семейство.", "С български субтитри.", "Специално издание.",
    "Разговор с гости в студиото.", "Последен епизод от сезона.",
};

// The guide is laid out from midnight (UTC) of the day before the time
// asked about, so it is the same for every request.
int64_t layout_origin(int64_t t) {
    int64_t day = 86400;
    int64_t midnight = t - ((t % day) + day) % day;
    return midnight - day;
}

}  // namespace

std::string clock_text(int64_t when) {
    time_t t = static_cast<time_t>(when);
    struct tm local;
    localtime_r(&t, &local);
    char buf[8];
    strftime(buf, sizeof buf, "%H:%M", &local);
    return buf;
}

std::vector<programme> guide_between(const channel& ch, int64_t from, int64_t to) {
    std::vector<programme> out;
    int64_t at = layout_origin(from);
    const std::vector<const char*>& titles = titles_for(ch.genre);
    for (uint64_t k = 0; at < to; ++k) {
        uint64_t h = mix(ch.id, k);
        int64_t minutes = 20 + static_cast<int64_t>(h % 15) * 5;  // 20..90
        programme p;
        p.start = at;
        p.end = at + minutes * 60;
        p.title = titles[(h >> 8) % titles.size()];
        p.comment = std::string("Епизод ") + std::to_string(1 + (h >> 16) % 40) + ". " +
                    comments[(h >> 24) % (sizeof comments / sizeof comments[0])];
        at = p.end;
        if (p.end > from) out.push_back(p);
    }
    return out;
}

std::string epg_response(const channel& ch, int64_t now, size_t max_bytes) {
    std::string out;
    for (const programme& p : guide_between(ch, now, now + 86400)) {
        std::string entry = join_fields({clock_text(p.start), clock_text(p.end), p.title, p.comment});
        size_t grown = out.size() + (out.empty() ? 0 : 1) + entry.size();
        if (grown > max_bytes) break;
        if (!out.empty()) out.push_back(sep);
        out += entry;
    }
    return out;
}

}  // namespace standin
