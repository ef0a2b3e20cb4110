#include "platform/updates/Appcast.h"

#include "platform/updates/UpdateError.h"

#include <QString>
#include <QXmlStreamReader>

#include <charconv>
#include <sstream>

namespace kivo::Appcast {
namespace {

std::vector<std::string> parts(const std::string& version)
{
    std::vector<std::string> result;
    std::stringstream stream(version);
    for (std::string part; std::getline(stream, part, '.');) {
        result.push_back(part);
    }
    return result;
}

std::optional<std::uint64_t> numeric(const std::string& text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string escaped(const std::string& text)
{
    return QString::fromStdString(text).toHtmlEscaped().toStdString();
}

} // namespace

std::vector<Item> parse(const std::string& document)
{
    QXmlStreamReader reader(QByteArray::fromStdString(document));
    const QString ns = QString::fromLatin1(xmlNamespace);
    std::vector<Item> items;
    std::optional<Item> current;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("item") && reader.namespaceUri().isEmpty()) {
            current = Item{};
        } else if (current && reader.isStartElement() && reader.namespaceUri() == ns &&
                   reader.name() == QLatin1String("version")) {
            current->version = reader.readElementText().trimmed().toStdString();
        } else if (current && reader.isStartElement() && reader.name() == QLatin1String("enclosure")) {
            const auto attributes = reader.attributes();
            current->url = attributes.value(QLatin1String("url")).toString().toStdString();
            current->length = attributes.value(QLatin1String("length")).toULongLong();
            current->signature = attributes.value(ns, QLatin1String("signature")).toString().toStdString();
        } else if (current && reader.isEndElement() && reader.name() == QLatin1String("item")) {
            if (!current->version.empty() && !current->url.empty() && !current->signature.empty()) {
                items.push_back(*current);
            }
            current.reset();
        }
    }
    if (reader.hasError()) {
        throw UpdateError(UpdateError::feedFailed,
                          "The update feed could not be read: " + reader.errorString().toStdString());
    }
    return items;
}

int compareVersions(const std::string& left, const std::string& right)
{
    const auto a = parts(left);
    const auto b = parts(right);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::string x = i < a.size() ? a[i] : "0";
        const std::string y = i < b.size() ? b[i] : "0";
        const auto nx = numeric(x);
        const auto ny = numeric(y);
        if (nx && ny) {
            if (*nx != *ny) {
                return *nx < *ny ? -1 : 1;
            }
        } else if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

std::optional<Item> newest(const std::vector<Item>& items, const std::string& currentVersion)
{
    std::optional<Item> best;
    for (const Item& item : items) {
        if (compareVersions(item.version, currentVersion) > 0 &&
            (!best || compareVersions(item.version, best->version) > 0)) {
            best = item;
        }
    }
    return best;
}

std::string itemXml(const Item& item, const std::string& title)
{
    std::ostringstream xml;
    xml << "    <item>\n"
        << "      <title>" << escaped(title) << "</title>\n"
        << "      <kivo:version>" << escaped(item.version) << "</kivo:version>\n"
        << "      <enclosure url=\"" << escaped(item.url) << "\" length=\"" << item.length
        << "\" type=\"application/gzip\" kivo:signature=\"" << escaped(item.signature) << "\"/>\n"
        << "    </item>\n";
    return xml.str();
}

} // namespace kivo::Appcast
