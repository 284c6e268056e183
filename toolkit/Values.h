#pragma once

#include <QColor>
#include <QHash>
#include <QString>

class QWidget;

namespace toolkit {

// The string and colour tables ("values:string", "values:color") of the resources, looked up by
// the references layouts, menus and style sheets write: "@string/title", "@color/accent". The
// version string "ver" is the build's project version and cannot be overridden by the file.
class CValueTable {
public:
    static CValueTable& Instance();

    // Reads <resources><string name="..">text</string><color name="..">#rrggbb</color>...
    // Entries of the file replace older ones. False when the file cannot be read or parsed; a
    // colour that does not parse is reported and skipped.
    bool Load(const QString& resourcePath);
    void SetString(const QString& name, const QString& value) { m_strings.insert(name, value); }
    void SetColor(const QString& name, const QColor& value) { m_colors.insert(name, value); }

    // Null / invalid when the table has no such entry.
    QString String(const QString& name) const { return m_strings.value(name); }
    QColor Color(const QString& name) const { return m_colors.value(name); }

private:
    CValueTable();
    QHash<QString, QString> m_strings;
    QHash<QString, QColor> m_colors;
};

inline QString GetString(const QString& name) {
    return CValueTable::Instance().String(name);
}

// "@color/name" from the table, or a colour written out ("#00F6FF", "white"); invalid otherwise.
QColor ResolveColor(const QString& ref);

// A text as the program shows it: a text that is exactly "@string/name" becomes the table's
// string, and every "@color/name" in it becomes the colour in style-sheet form (a style sheet
// or rich text can name table colours). References the tables lack stay as written, so a
// missing entry is visible rather than blank.
QString ResolveText(const QString& text);

// Resolves the references in the texts of root and its descendants: every string property
// (text, window title, tool tip, style sheet, the widgets' own string properties), tab captions
// and tool tips, and combo box items.
void ResolveValues(QWidget* root);

}  // namespace toolkit
