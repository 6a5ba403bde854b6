// The editors' descriptions of the filter against the filter's own
// parameters: every name Kdenlive's effect and MLT's metadata give is one
// of the filter's, with the filter's default, within the range the filter
// holds the value to, and each listed choice one the filter names.
#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
#include <cmath>
#include <fstream>
#include <map>
#include <set>

#include "FilterChecks.h"

namespace {

using namespace filterchecks;

struct Parameter {
  int index;
  int type;
  std::string explanation;
  double low = 0, high = 0, byDefault = 0;  // doubles and bools
};

// The filter's parameters by name, with their ranges found by setting values
// past either end on an instance and reading back what it kept.
std::map<std::string, Parameter> FilterParameters() {
  std::map<std::string, Parameter> found;
  Filter& f = TheFilter();
  for (int k = 0; k < kParameters; ++k) {
    f0r_param_info_t info{};
    f.info(&info, k);
    Parameter p{k, info.type, info.explanation ? info.explanation : ""};
    if (info.type == F0R_PARAM_DOUBLE || info.type == F0R_PARAM_BOOL) {
      f0r_instance_t it = f.construct(8, 8);
      f.get(it, &p.byDefault, k);
      double v = 1e308;
      f.set(it, &v, k), f.get(it, &p.high, k);
      v = -1e308;
      f.set(it, &v, k), f.get(it, &p.low, k);
      f.destruct(it);
    }
    found[info.name] = p;
  }
  return found;
}

TEST(Descriptions, KdenlivesEffectMapsEveryParameterOfTheFilterAsTheFilterTakesIt) {
  const auto filter = FilterParameters();
  QFile file(QUORVEL_SOURCE_DIR "/packaging/kdenlive/frei0r_quorvel.xml");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  std::set<std::string> mapped;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"effect") {
      EXPECT_EQ(xml.attributes().value("id").toString().toStdString(), "frei0r.quorvel");
      EXPECT_EQ(xml.attributes().value("tag").toString().toStdString(), "frei0r.quorvel");
    }
    if (xml.name() != u"parameter") continue;
    const auto a = xml.attributes();
    const std::string name = a.value("name").toString().toStdString(), type = a.value("type").toString().toStdString();
    SCOPED_TRACE(name);
    ASSERT_TRUE(filter.count(name)) << "not a parameter of the filter";
    mapped.insert(name);
    const Parameter& p = filter.at(name);
    const double factor = a.hasAttribute("factor") ? a.value("factor").toDouble() : 1;
    if (type == "constant") {
      EXPECT_EQ(p.type, F0R_PARAM_DOUBLE);
      EXPECT_DOUBLE_EQ(a.value("default").toDouble(), p.byDefault);
      EXPECT_GE(a.value("min").toDouble() / factor, p.low);
      EXPECT_LE(a.value("max").toDouble() / factor, p.high);
    } else if (type == "bool") {
      EXPECT_EQ(p.type, F0R_PARAM_BOOL);
      EXPECT_EQ(a.value("default").toDouble(), p.byDefault);
    } else if (type == "list") {
      EXPECT_EQ(p.type, F0R_PARAM_STRING);
      for (const QString& choice : a.value("paramlist").toString().split(';'))
        EXPECT_NE(p.explanation.find(choice.toStdString()), std::string::npos) << choice.toStdString();
    } else if (type == "url") {
      EXPECT_EQ(p.type, F0R_PARAM_STRING);
      EXPECT_TRUE(a.value("filter").toString().contains(QStringLiteral("*.png")));
    } else if (type == "color") {
      EXPECT_EQ(p.type, F0R_PARAM_COLOR);
    } else {
      ADD_FAILURE() << "a widget Kdenlive 22.12 does not have: " << type;
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  // Every parameter, the earlier name of the picture's apart.
  for (const auto& [name, p] : filter) EXPECT_TRUE(name == "picture" || mapped.count(name)) << name << " is not in the effect";
}

TEST(Descriptions, MltsMetadataGivesTheFiltersRangesAndDefaults) {
  const auto filter = FilterParameters();
  std::ifstream in(QUORVEL_SOURCE_DIR "/packaging/mlt/filter_frei0r.quorvel.yml");
  ASSERT_TRUE(in);
  std::map<int, std::map<std::string, std::string>> params;
  int current = -1;
  for (std::string line; std::getline(in, line);) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon), value = line.substr(colon + 1);
    key.erase(0, key.find_first_not_of(" -"));
    value.erase(0, value.find_first_not_of(' '));
    if (key == "identifier" && line.find("  - identifier") == 0) current = std::stoi(value);
    else if (current >= 0) params[current][key] = value;
  }
  ASSERT_EQ(params.size(), size_t(kParameters));
  for (const auto& [name, p] : filter) {
    SCOPED_TRACE(name);
    const auto& y = params[p.index];
    if (p.type != F0R_PARAM_DOUBLE && p.type != F0R_PARAM_BOOL) continue;
    EXPECT_DOUBLE_EQ(std::stod(y.at("default")), p.byDefault);
    if (y.count("minimum")) {
      EXPECT_GE(std::stod(y.at("minimum")), p.low);
    }
    if (y.count("maximum")) {
      EXPECT_LE(std::stod(y.at("maximum")), p.high);
    }
  }
}

}  // namespace
