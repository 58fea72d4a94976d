#!/usr/bin/env python3
"""Writes the time-zone list of the default unit into unit/registry.reg.

The launcher fills its list of 100 time zones at start-up from the subkeys of
HKEY_LOCAL_MACHINE\\Time Zones: each has the 44-byte REG_BINARY "TZI" (bias, standard bias,
daylight bias, standard date, daylight date) and the strings "Display" (one of the display names
of the language modules), "Std" and "Dlt". This script derives every zone's rule from the host's
IANA time-zone data for RULE_YEAR, checks that the rule gives back the real transitions of
RULE_YEAR and the year after, and rewrites only the "Time Zones" keys of the file; every other
key and the header stay as they are.

Zones whose 2026 behaviour cannot be written as a yearly day-in-month rule (a transition tied to
another calendar, or a base-offset change) are listed on stderr and written without daylight
saving, with the offset that holds for the larger part of the year.

Usage: scripts/gen_time_zones.py [registry.reg]   (default: unit/registry.reg of this tree)
"""
import calendar
import os
import struct
import sys
from datetime import datetime, timedelta, timezone
from zoneinfo import ZoneInfo

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_language_modules import TIME_ZONES  # noqa: E402

RULE_YEAR = 2026
ROOT_KEY = "HKEY_LOCAL_MACHINE\\Time Zones"
NAME_LIMIT = 31  # the record's name fields hold 32 characters with the terminating zero

# Display name -> (IANA zone, subkey / standard name). The daylight name is the standard name
# with "Standard" replaced by "Daylight". Where a display name lists several places, the zone is
# the one the label's offset (and the device's own subkey) stands for.
ZONE_TABLE = {
    "(GMT-12:00) International Date Line West": ("Etc/GMT+12", "Dateline Standard Time"),
    "(GMT-11:00) Midway Island, Samoa": ("Pacific/Pago_Pago", "Samoa Standard Time"),
    "(GMT-10:00) Hawaii": ("Pacific/Honolulu", "Hawaiian Standard Time"),
    "(GMT-09:00) Alaska": ("America/Anchorage", "Alaskan Standard Time"),
    "(GMT-08:00) Pacific Time (US & Canada)": ("America/Los_Angeles", "Pacific Standard Time"),
    "(GMT-08:00) Tijuana, Baja California": ("America/Tijuana", "Pacific Standard Time (Mexico)"),
    "(GMT-07:00) Arizona": ("America/Phoenix", "US Mountain Standard Time"),
    "(GMT-07:00) Chihuahua, La Paz, Mazatlan": ("America/Mazatlan", "Mountain Standard Time (Mexico)"),
    "(GMT-07:00) Mountain Time (US & Canada)": ("America/Denver", "Mountain Standard Time"),
    "(GMT-06:00) Central America": ("America/Guatemala", "Central America Standard Time"),
    "(GMT-06:00) Central Time (US & Canada)": ("America/Chicago", "Central Standard Time"),
    "(GMT-06:00) Guadalajara, Mexico City, Monterrey": ("America/Mexico_City", "Central Standard Time (Mexico)"),
    "(GMT-06:00) Saskatchewan": ("America/Regina", "Canada Central Standard Time"),
    "(GMT-05:00) Bogota, Lima, Quito": ("America/Bogota", "SA Pacific Standard Time"),
    "(GMT-05:00) Eastern Time (US & Canada)": ("America/New_York", "Eastern Standard Time"),
    "(GMT-05:00) Indiana (East)": ("America/Indiana/Indianapolis", "US Eastern Standard Time"),
    "(GMT-04:30) Caracas": ("America/Caracas", "Venezuela Standard Time"),
    "(GMT-04:00) Asuncion": ("America/Asuncion", "Paraguay Standard Time"),
    "(GMT-04:00) Atlantic Time (Canada)": ("America/Halifax", "Atlantic Standard Time"),
    "(GMT-04:00) Cuiaba": ("America/Cuiaba", "Central Brazilian Standard Time"),
    "(GMT-04:00) La Paz": ("America/La_Paz", "SA Western Standard Time"),
    "(GMT-04:00) Manaus": ("America/Manaus", "Amazon Standard Time"),
    "(GMT-04:00) Santiago": ("America/Santiago", "Pacific SA Standard Time"),
    "(GMT-03:30) Newfoundland": ("America/St_Johns", "Newfoundland Standard Time"),
    "(GMT-03:00) Brasilia": ("America/Sao_Paulo", "E. South America Standard Time"),
    "(GMT-03:00) Buenos Aires": ("America/Argentina/Buenos_Aires", "Argentina Standard Time"),
    "(GMT-03:00) Cayenne": ("America/Cayenne", "SA Eastern Standard Time"),
    "(GMT-03:00) Georgetown": ("America/Guyana", "Guyana Standard Time"),
    "(GMT-03:00) Greenland": ("America/Nuuk", "Greenland Standard Time"),
    "(GMT-03:00) Montevideo": ("America/Montevideo", "Montevideo Standard Time"),
    "(GMT-03:00) Salvador": ("America/Bahia", "Bahia Standard Time"),
    "(GMT-02:00) Mid-Atlantic": ("Atlantic/South_Georgia", "Mid-Atlantic Standard Time"),
    "(GMT-01:00) Azores": ("Atlantic/Azores", "Azores Standard Time"),
    "(GMT-01:00) Cape Verde Is.": ("Atlantic/Cape_Verde", "Cape Verde Standard Time"),
    "(GMT) Casablanca": ("Africa/Casablanca", "Morocco Standard Time"),
    "(GMT) Greenwich Mean Time : Dublin, Edinburgh, Lisbon, London": ("Europe/London", "GMT Standard Time"),
    "(GMT) Monrovia, Reykjavik": ("Atlantic/Reykjavik", "Greenwich Standard Time"),
    "(GMT+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna": ("Europe/Berlin", "W. Europe Standard Time"),
    "(GMT+01:00) Belgrade, Bratislava, Budapest, Ljubljana, Prague": ("Europe/Budapest", "Central Europe Standard Time"),
    "(GMT+01:00) Brussels, Copenhagen, Madrid, Paris": ("Europe/Paris", "Romance Standard Time"),
    "(GMT+01:00) Sarajevo, Skopje, Warsaw, Zagreb": ("Europe/Warsaw", "Central European Standard Time"),
    "(GMT+01:00) West Central Africa": ("Africa/Lagos", "W. Central Africa Standard Time"),
    "(GMT+02:00) Amman": ("Asia/Amman", "Jordan Standard Time"),
    "(GMT+02:00) Athens, Bucharest, Istanbul": ("Europe/Athens", "GTB Standard Time"),
    "(GMT+02:00) Beirut": ("Asia/Beirut", "Middle East Standard Time"),
    "(GMT+02:00) Cairo": ("Africa/Cairo", "Egypt Standard Time"),
    "(GMT+02:00) Damascus": ("Asia/Damascus", "Syria Standard Time"),
    "(GMT+02:00) Harare, Pretoria": ("Africa/Johannesburg", "South Africa Standard Time"),
    "(GMT+02:00) Helsinki, Kyiv, Riga, Sofia, Tallinn, Vilnius": ("Europe/Helsinki", "FLE Standard Time"),
    "(GMT+02:00) Jerusalem": ("Asia/Jerusalem", "Israel Standard Time"),
    "(GMT+02:00) Minsk": ("Europe/Minsk", "E. Europe Standard Time"),
    "(GMT+02:00) Tripoli": ("Africa/Tripoli", "Libya Standard Time"),
    "(GMT+02:00) Windhoek": ("Africa/Windhoek", "Namibia Standard Time"),
    "(GMT+03:00) Baghdad": ("Asia/Baghdad", "Arabic Standard Time"),
    "(GMT+03:00) Kuwait, Riyadh": ("Asia/Riyadh", "Arab Standard Time"),
    "(GMT+03:00) Moscow, St. Petersburg, Volgograd": ("Europe/Moscow", "Russian Standard Time"),
    "(GMT+03:00) Nairobi": ("Africa/Nairobi", "E. Africa Standard Time"),
    "(GMT+03:00) Tbilisi": ("Asia/Tbilisi", "Georgian Standard Time"),
    "(GMT+03:30) Tehran": ("Asia/Tehran", "Iran Standard Time"),
    "(GMT+04:00) Abu Dhabi, Muscat": ("Asia/Dubai", "Arabian Standard Time"),
    "(GMT+04:00) Baku": ("Asia/Baku", "Azerbaijan Standard Time"),
    "(GMT+04:00) Izhevsk, Samara": ("Europe/Samara", "Russia Time Zone 3"),
    "(GMT+04:00) Port Louis": ("Indian/Mauritius", "Mauritius Standard Time"),
    "(GMT+04:00) Yerevan": ("Asia/Yerevan", "Caucasus Standard Time"),
    "(GMT+04:30) Kabul": ("Asia/Kabul", "Afghanistan Standard Time"),
    "(GMT+05:00) Ekaterinburg": ("Asia/Yekaterinburg", "Ekaterinburg Standard Time"),
    "(GMT+05:00) Islamabad, Karachi": ("Asia/Karachi", "Pakistan Standard Time"),
    "(GMT+05:00) Tashkent": ("Asia/Tashkent", "West Asia Standard Time"),
    "(GMT+05:30) Chennai, Kolkata, Mumbai, New Delhi": ("Asia/Kolkata", "India Standard Time"),
    "(GMT+05:30) Sri Jayawardenepura": ("Asia/Colombo", "Sri Lanka Standard Time"),
    "(GMT+05:45) Kathmandu": ("Asia/Kathmandu", "Nepal Standard Time"),
    "(GMT+06:00) Almaty, Novosibirsk": ("Asia/Almaty", "N. Central Asia Standard Time"),
    "(GMT+06:00) Astana, Dhaka": ("Asia/Dhaka", "Central Asia Standard Time"),
    "(GMT+06:00) Omsk": ("Asia/Omsk", "Omsk Standard Time"),
    "(GMT+06:30) Yangon (Rangoon)": ("Asia/Yangon", "Myanmar Standard Time"),
    "(GMT+07:00) Bangkok, Hanoi, Jakarta": ("Asia/Bangkok", "SE Asia Standard Time"),
    "(GMT+07:00) Krasnoyarsk": ("Asia/Krasnoyarsk", "North Asia Standard Time"),
    "(GMT+08:00) Beijing, Chongqing, Hong Kong, Urumqi": ("Asia/Shanghai", "China Standard Time"),
    "(GMT+08:00) Irkutsk, Ulaan Bataar": ("Asia/Irkutsk", "North Asia East Standard Time"),
    "(GMT+08:00) Kuala Lumpur, Singapore": ("Asia/Singapore", "Singapore Standard Time"),
    "(GMT+08:00) Perth": ("Australia/Perth", "W. Australia Standard Time"),
    "(GMT+08:00) Taipei": ("Asia/Taipei", "Taipei Standard Time"),
    "(GMT+09:00) Osaka, Sapporo, Tokyo": ("Asia/Tokyo", "Tokyo Standard Time"),
    "(GMT+09:00) Pyongyang": ("Asia/Pyongyang", "North Korea Standard Time"),
    "(GMT+09:00) Seoul": ("Asia/Seoul", "Korea Standard Time"),
    "(GMT+09:00) Yakutsk": ("Asia/Yakutsk", "Yakutsk Standard Time"),
    "(GMT+09:30) Adelaide": ("Australia/Adelaide", "Cen. Australia Standard Time"),
    "(GMT+09:30) Darwin": ("Australia/Darwin", "AUS Central Standard Time"),
    "(GMT+10:00) Brisbane": ("Australia/Brisbane", "E. Australia Standard Time"),
    "(GMT+10:00) Canberra, Melbourne, Sydney": ("Australia/Sydney", "AUS Eastern Standard Time"),
    "(GMT+10:00) Guam, Port Moresby": ("Pacific/Guam", "West Pacific Standard Time"),
    "(GMT+10:00) Hobart": ("Australia/Hobart", "Tasmania Standard Time"),
    "(GMT+10:00) Vladivostok": ("Asia/Vladivostok", "Vladivostok Standard Time"),
    "(GMT+10:30) Lord Howe Island": ("Australia/Lord_Howe", "Lord Howe Standard Time"),
    "(GMT+11:00) Magadan, Solomon Is., New Caledonia": ("Asia/Magadan", "Magadan Standard Time"),
    "(GMT+12:00) Auckland, Wellington": ("Pacific/Auckland", "New Zealand Standard Time"),
    "(GMT+12:00) Fiji, Kamchatka, Marshall Is.": ("Pacific/Fiji", "Fiji Standard Time"),
    "(GMT+12:45) Chatham Islands": ("Pacific/Chatham", "Chatham Islands Standard Time"),
    "(GMT+13:00) Nuku'alofa": ("Pacific/Tongatapu", "Tonga Standard Time"),
    "(GMT+14:00) Kiritimati Island": ("Pacific/Kiritimati", "Line Islands Standard Time"),
}

UTC = timezone.utc
MINUTE = timedelta(minutes=1)


def offset_minutes(zone, instant):
    return int(instant.astimezone(zone).utcoffset().total_seconds()) // 60


def transitions(zone, year):
    """(UTC instant, offset before, offset after) of every offset change in the calendar year."""
    found = []
    start = datetime(year, 1, 1, tzinfo=UTC) - timedelta(hours=14)
    end = datetime(year + 1, 1, 1, tzinfo=UTC) + timedelta(hours=14)
    step = timedelta(hours=12)
    t = start
    before = offset_minutes(zone, t)
    while t < end:
        nxt = t + step
        after = offset_minutes(zone, nxt)
        if after != before:
            lo, hi = t, nxt  # offset(lo) == before, offset(hi) == after
            while hi - lo > MINUTE:
                mid = lo + (hi - lo) / 2
                mid = mid.replace(second=0, microsecond=0)
                if mid <= lo:
                    mid = lo + MINUTE
                if offset_minutes(zone, mid) == before:
                    lo = mid
                else:
                    hi = mid
            local = hi + timedelta(minutes=before)
            if local.year == year:
                found.append((hi, before, after))
        before = after
        t = nxt
    return found


def day_of_week(d):
    return (d.weekday() + 1) % 7  # the record counts from Sunday = 0


def rule_date(year, month, dow, week, hour, minute):
    """The local wall time a day-in-month rule names in the given year."""
    first = datetime(year, month, 1)
    day = 1 + (dow - day_of_week(first)) % 7 + (week - 1) * 7
    last = calendar.monthrange(year, month)[1]
    while day > last:  # week 5 means the last one
        day -= 7
    return datetime(year, month, day, hour, minute)


def week_candidates(local):
    last = calendar.monthrange(local.year, local.month)[1]
    nth = (local.day - 1) // 7 + 1
    candidates = []
    if local.day + 7 > last:
        candidates.append(5)
    if nth not in candidates:
        candidates.append(nth)
    return candidates


def rule_instant(year, rule, offset):
    month, dow, week, hour, minute = rule
    local = rule_date(year, month, dow, week, hour, minute)
    return (local - timedelta(minutes=offset)).replace(tzinfo=UTC)


def derive(zone):
    """Returns (std offset, dst offset or None, daylight rule, standard rule, problem text)."""
    changes = transitions(zone, RULE_YEAR)
    if not changes:
        following = transitions(zone, RULE_YEAR + 1)
        offset = offset_minutes(zone, datetime(RULE_YEAR, 7, 1, tzinfo=UTC))
        problem = None
        if following:
            problem = "changes its offset in %d" % (RULE_YEAR + 1)
        return offset, None, None, None, problem
    offsets = sorted({c[1] for c in changes} | {c[2] for c in changes})
    if len(changes) == 2 and len(offsets) == 2:
        std, dst = offsets
        on = next(c for c in changes if c[2] == dst)
        off = next(c for c in changes if c[2] == std)
        # The day-in-month rule names the wall time just before the change: standard time for
        # the start of daylight time, daylight time for its end.
        on_local = on[0] + timedelta(minutes=std)
        off_local = off[0] + timedelta(minutes=dst)
        expected = {y: transitions(zone, y) for y in (RULE_YEAR, RULE_YEAR + 1)}
        for on_week in week_candidates(on_local):
            for off_week in week_candidates(off_local):
                on_rule = (on_local.month, day_of_week(on_local), on_week, on_local.hour, on_local.minute)
                off_rule = (off_local.month, day_of_week(off_local), off_week, off_local.hour, off_local.minute)
                if all(sorted(expected[y]) == sorted([(rule_instant(y, on_rule, std), std, dst),
                                                      (rule_instant(y, off_rule, dst), dst, std)])
                       for y in expected):
                    return std, dst, on_rule, off_rule, None
        problem = "its %d transitions follow no day-in-month rule" % RULE_YEAR
    else:
        problem = "%d offset changes in %d" % (len(changes), RULE_YEAR)
    # Fall back to the offset that holds for the larger part of the year, without daylight time.
    held = {}
    t = datetime(RULE_YEAR, 1, 1, tzinfo=UTC)
    while t.year == RULE_YEAR:
        o = offset_minutes(zone, t)
        held[o] = held.get(o, 0) + 1
        t += timedelta(days=1)
    return max(held, key=held.get), None, None, None, problem


def systemtime(rule):
    if rule is None:
        return bytes(16)
    month, dow, week, hour, minute = rule
    return struct.pack("<8H", 0, month, dow, week, hour, minute, 0, 0)


def tzi(std, dst, on_rule, off_rule):
    daylight_bias = -(dst - std) if dst is not None else 0
    data = struct.pack("<3l", -std, 0, daylight_bias) + systemtime(off_rule) + systemtime(on_rule)
    assert len(data) == 44
    return data


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def hex_lines(name, data):
    first = reg_string(name) + "=hex:"
    parts = ["%02x" % b for b in data]
    lines, line = [], first
    for i, part in enumerate(parts):
        piece = part + ("," if i + 1 < len(parts) else "")
        if len(line) + len(piece) > 76:
            lines.append(line + "\\")
            line = "  "
        line += piece
    lines.append(line)
    return lines


def offset_label(minutes):
    if minutes == 0:
        return "(GMT)"
    sign = "+" if minutes > 0 else "-"
    return "(GMT%s%02d:%02d)" % (sign, abs(minutes) // 60, abs(minutes) % 60)


def tzdata_version():
    for path in ("/usr/share/zoneinfo/tzdata.zi",):
        try:
            with open(path) as f:
                first = f.readline().strip()
            if first.startswith("# version"):
                return first.split()[-1]
        except OSError:
            pass
    return "unknown"


def section(problems):
    assert len(ZONE_TABLE) == len(TIME_ZONES) and set(ZONE_TABLE) == set(TIME_ZONES)
    keys = set()
    lines = ["[%s]" % ROOT_KEY,
             "; Generated by scripts/gen_time_zones.py: %d zones," % len(TIME_ZONES),
             "; rules of %d from time-zone data %s." % (RULE_YEAR, tzdata_version()),
             ""]
    for display in TIME_ZONES:
        iana, std_name = ZONE_TABLE[display]
        dlt_name = std_name.replace("Standard", "Daylight")
        assert std_name.lower() not in keys, std_name
        keys.add(std_name.lower())
        assert len(std_name) <= NAME_LIMIT and len(dlt_name) <= NAME_LIMIT, std_name
        std, dst, on_rule, off_rule, problem = derive(ZoneInfo(iana))
        if problem:
            problems.append("%s (%s): %s" % (display, iana, problem))
        if not display.startswith(offset_label(std) + " "):
            problems.append("%s (%s): standard offset is now %s" % (display, iana, offset_label(std)))
        lines.append("[%s\\%s]" % (ROOT_KEY, std_name))
        lines.append('"Display"=' + reg_string(display))
        lines.append('"Dlt"=' + reg_string(dlt_name))
        lines.append('"Std"=' + reg_string(std_name))
        lines += hex_lines("TZI", tzi(std, dst, on_rule, off_rule))
        lines.append("")
    return lines


def in_section(key_line):
    path = key_line.strip()[1:-1].lstrip("-").lower()
    root = ROOT_KEY.lower()
    return path == root or path.startswith(root + "\\") or path.startswith("hklm\\time zones")


def rewrite(path):
    with open(path, encoding="utf-8", newline="") as f:
        old = f.read().replace("\r\n", "\n").split("\n")
    while old and old[-1] == "":
        old.pop()
    kept, dropping = [], False
    for line in old:
        if line.strip().startswith("["):
            dropping = in_section(line)
        if not dropping:
            kept.append(line)
    while kept and kept[-1].strip() == "":
        kept.pop()
    problems = []
    out = kept + [""] + section(problems)
    with open(path + ".tmp", "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(out))
    os.replace(path + ".tmp", path)
    return problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "unit", "registry.reg")
    problems = rewrite(path)
    for p in problems:
        sys.stderr.write("note: " + p + "\n")
    print("wrote %d time zones into %s" % (len(TIME_ZONES), os.path.normpath(path)))


if __name__ == "__main__":
    main()
