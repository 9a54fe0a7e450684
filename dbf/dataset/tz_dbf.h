#pragma once

#include "dbf/dataset/tz_odbf.h"

#include <functional>
#include <QString>
#include <string>
#include <vector>

enum TCreateIndexType { ciNotFound, ciAlways, ciVerifyHeader, ciNever };

class TTzDbf;
using TBeforeMakeIndexEvent =
    std::function<void(TTzDbf* sender, const QString& Name, bool& CanMake)>;
using TAfterMakeIndexEvent = std::function<void(TTzDbf* sender, const QString& Name)>;

// The table component a window holds: it creates its table from DbfFields
// when the file is missing, opens it with the indexes of IndexList
// (rebuilding them as CreateIndex says) and is the data source that the grid
// and the navigator bind to. The component's name gives the table's alias.
//
//   DbfFields line: "name, type, length, decimals"  e.g. "url, C, 254, 0"
//   IndexList line: "order,file,key expression"      e.g. "1,url.ndx,left(url,50)"
class TTzDbf : public TTzODbf {
    Q_OBJECT
public:
    explicit TTzDbf(QObject* owner = nullptr, dbf::DbfEngine& engine = dbf::DbfEngine::global());
    ~TTzDbf() override;

    // The component name; its first 10 characters are the alias.
    QString Name() const { return objectName(); }
    void setName(const QString& name) { setObjectName(name); }
    std::string Alias() const;

    QString DbfFileName() const { return m_fileName; }
    // Trimmed; a name without extension gets ".dbf". An open table reopens.
    void setDbfFileName(const QString& fileName);
    const std::vector<std::string>& DbfFields() const { return m_fields; }
    void setDbfFields(const std::vector<std::string>& lines) { m_fields = lines; }
    const std::vector<std::string>& IndexList() const { return m_indexList; }
    void setIndexList(const std::vector<std::string>& lines) { m_indexList = lines; }
    TCreateIndexType CreateIndex() const { return m_createIndex; }
    void setCreateIndex(TCreateIndexType mode) { m_createIndex = mode; }
    bool CreateIfNotFound() const { return m_createIfNotFound; }
    void setCreateIfNotFound(bool create) { m_createIfNotFound = create; }
    bool Exclusive() const { return m_exclusive; }
    // An open table reopens with the new sharing.
    void setExclusive(bool exclusive);
    // With ciAlways, index files that the engine knows to be current (the
    // table and its indexes were closed cleanly together and nothing changed
    // since) are opened instead of rebuilt. An index left by a crash or
    // changed by another program is rebuilt as before. Off by default.
    bool SkipCurrentIndexes() const { return m_skipCurrentIndexes; }
    void setSkipCurrentIndexes(bool skip) { m_skipCurrentIndexes = skip; }
    bool AutoFixRecCount() const { return m_autoFixRecCount; }
    void setAutoFixRecCount(bool fix) { m_autoFixRecCount = fix; }
    bool Active() const { return m_active; }
    // Opens or closes the table. While the component is loading, the wish is
    // kept and carried out by Loaded().
    void setActive(bool active);

    TBeforeMakeIndexEvent OnBeforeMakeIndex;
    TAfterMakeIndexEvent OnAfterMakeIndex;

    // Loading brackets: a window sets the properties between them.
    void BeginLoading() { m_loading = true; }
    void Loaded();

    // Field descriptions parsed from DbfFields lines. Lines of type "X" are
    // left out; a line without exactly three commas ends the list and sets
    // `malformed`. A value out of range raises the "Range check error".
    struct FieldParse {
        std::vector<dbf::FieldDef> fields;
        bool malformed = false;
    };
    static FieldParse parseFields(const std::vector<std::string>& lines);
    struct IndexEntry {
        int order = 0;
        std::string file;
        std::string expression;
    };
    static std::vector<IndexEntry> parseIndexList(const std::vector<std::string>& lines);

private:
    void open();
    void close();
    bool createTable(const std::string& path);
    void OpenIndexes();
    void removeSemaphore();
    enum class Build { Built, Declined, Failed };
    // Builds one index file and opens it into slot 1, unless
    // OnBeforeMakeIndex declines.
    Build makeIndex(const IndexEntry& entry);
    std::string filePath() const;

    QString m_fileName;
    std::vector<std::string> m_fields;
    std::vector<std::string> m_indexList;
    TCreateIndexType m_createIndex = ciNotFound;
    bool m_createIfNotFound = true;
    bool m_exclusive = false;
    bool m_autoFixRecCount = false;
    bool m_skipCurrentIndexes = false;
    bool m_active = false;
    bool m_loading = false;
    bool m_activeWish = false;
};
