#pragma once

#include <QDate>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

// A submitter profile: a text file of positional lines (CR LF, 8-bit text),
// saved with the extension ".ini" though it has no sections:
//   1  e-mail address, as typed
//   2  submitter name, every space written "%20"
//   3  date of the last submission run, empty until the first run
//   4+ one page address per line, every space written "%20"
namespace app {

// Text with every space written "%20".
std::string sacaesp(std::string_view text);
// Text with every "%20" turned back into a space.
std::string poneesp(std::string_view text);

struct Profile {
    std::string email;
    std::string name; // stored form, with "%20"
    std::string lastDate;
    std::vector<std::string> pages; // stored form, empty lines kept

    std::vector<std::string> lines() const;
    // Missing lines read as empty.
    static Profile fromLines(const std::vector<std::string>& lines);
};

// Throws EInOutError when the file cannot be read.
Profile readProfile(const QString& path);
// Replaces the file. Throws EInOutError when it cannot be written.
void writeProfile(const QString& path, const Profile& profile);

// The name a profile is saved under: the file name lower-cased and given the
// extension ".ini" (replacing another extension, appended when there is
// none). The folder is kept as it is.
QString profileSavePath(const QString& path);

// The existing profile file that a name typed in a file dialog stands for:
// the file itself when it exists, else a file of the same folder whose name
// matches without regard to letter case, as typed or with ".ini" added
// ("MySite" finds "mysite.ini", "Site.INI" finds "site.ini"). Empty when
// there is none.
QString existingProfileFor(const QString& path);

// Rewrites line 3 of the profile file with the date text, keeping every
// other line. A file shorter than three lines has no date line and is left
// as it is; the result is then false. Throws EInOutError when the file
// cannot be read or written.
bool updateProfileDate(const QString& path, const std::string& dateText);

// The date as text in the program's short date format: the format in
// QUORVANE_DATE_FORMAT when set, else the system locale's short format.
std::string shortDateText(const QDate& date);
// The short date format itself, e.g. "dd.MM.yyyy".
QString shortDateFormat();

} // namespace app
