#include "transport/stringtable.h"

#include <QStringList>

#include <map>

#include "transport/stringtabletext.h"  // generated from resources/vlrAddin/strings.txt

namespace {

const std::map<int, QString>& Table() {
  static const std::map<int, QString> table = [] {
    std::map<int, QString> t;
    const QString text = QString::fromUtf8(kStringTableText);
    for (const QString& line : text.split(QLatin1Char('\n'))) {
      const qsizetype tab = line.indexOf(QLatin1Char('\t'));
      if (tab <= 0 || line.startsWith(QLatin1Char('#'))) continue;
      bool ok = false;
      const int id = line.left(tab).trimmed().toInt(&ok);
      if (ok) t[id] = line.mid(tab + 1);
    }
    return t;
  }();
  return table;
}

}  // namespace

QString LoadResString(int id) {
  const auto& table = Table();
  const auto it = table.find(id);
  return it == table.end() ? QString() : it->second;
}
