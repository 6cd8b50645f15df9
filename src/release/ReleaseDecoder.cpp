#include "release/ReleaseDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace ReleaseDecoder {

namespace {

// Doubles that are integral and below this are exact; larger ones may have lost digits.
constexpr double maxExactDouble = 9007199254740992.0; // 2^53

// A JSON object whose member names have been converted to the code's names.
class Members
{
public:
    Members(const QJsonObject &object, QString path)
        : m_path(std::move(path))
    {
        for (auto it = object.begin(); it != object.end(); ++it)
            m_values.insert(convertFromSnakeCase(it.key()), it.value());
    }

    QString requiredString(const QString &key) const
    {
        const QJsonValue value = required(key);
        if (!value.isString())
            fail(key, QStringLiteral("expected a string, found %1").arg(typeName(value)));
        return value.toString();
    }

    std::optional<QString> optionalString(const QString &key) const
    {
        const QJsonValue value = m_values.value(key, QJsonValue(QJsonValue::Null));
        if (value.isNull())
            return std::nullopt;
        if (!value.isString())
            fail(key, QStringLiteral("expected a string or null, found %1").arg(typeName(value)));
        return value.toString();
    }

    qint64 requiredInteger(const QString &key) const
    {
        const QJsonValue value = required(key);
        if (value.isDouble()) {
            // Qt keeps integral JSON numbers that fit 64 bits as exact integers.
            const QVariant variant = value.toVariant();
            if (variant.typeId() == QMetaType::LongLong)
                return variant.toLongLong();
            const double d = value.toDouble();
            if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < maxExactDouble)
                return static_cast<qint64>(d);
            fail(key,
                 QStringLiteral("expected an integer that fits 64 bits, found %1").arg(QString::number(d, 'g', 17)));
        }
        fail(key, QStringLiteral("expected an integer, found %1").arg(typeName(value)));
    }

    QJsonArray requiredArray(const QString &key) const
    {
        const QJsonValue value = required(key);
        if (!value.isArray())
            fail(key, QStringLiteral("expected an array, found %1").arg(typeName(value)));
        return value.toArray();
    }

    QString pathOf(const QString &key) const { return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key; }

    [[noreturn]] void fail(const QString &key, const QString &reason) const
    {
        throw DecodingError{QStringLiteral("Member \"%1\": %2.").arg(pathOf(key), reason)};
    }

private:
    QJsonValue required(const QString &key) const
    {
        const auto it = m_values.constFind(key);
        if (it == m_values.constEnd())
            fail(key, QStringLiteral("required member is missing"));
        return *it;
    }

    static QString typeName(const QJsonValue &value)
    {
        switch (value.type()) {
        case QJsonValue::Null: return QStringLiteral("null");
        case QJsonValue::Bool: return QStringLiteral("a boolean");
        case QJsonValue::Double: return QStringLiteral("a number");
        case QJsonValue::String: return QStringLiteral("a string");
        case QJsonValue::Array: return QStringLiteral("an array");
        case QJsonValue::Object: return QStringLiteral("an object");
        case QJsonValue::Undefined: break;
        }
        return QStringLiteral("nothing");
    }

    QString m_path;
    QHash<QString, QJsonValue> m_values;
};

ReleaseAsset decodeAsset(const QJsonValue &value, const QString &path)
{
    if (!value.isObject())
        throw DecodingError{QStringLiteral("Member \"%1\": expected an object.").arg(path)};
    const Members members(value.toObject(), path);

    ReleaseAsset asset;
    asset.name = members.requiredString(QStringLiteral("name"));
    asset.size = members.requiredInteger(QStringLiteral("size"));
    if (const auto text = members.optionalString(QStringLiteral("browserDownloadUrl"))) {
        const QUrl url(*text, QUrl::StrictMode);
        if (!url.isValid() || url.isRelative())
            members.fail(QStringLiteral("browserDownloadUrl"),
                         QStringLiteral("\"%1\" is not a valid address").arg(*text));
        asset.browserDownloadUrl = url;
    }
    asset.digest = members.optionalString(QStringLiteral("digest"));
    return asset;
}

} // namespace

QString convertFromSnakeCase(const QString &key)
{
    qsizetype first = 0;
    while (first < key.size() && key[first] == QLatin1Char('_'))
        ++first;
    if (first == key.size())
        return key;
    qsizetype last = key.size() - 1;
    while (key[last] == QLatin1Char('_'))
        --last;

    const QString core = key.mid(first, last - first + 1);
    if (!core.contains(QLatin1Char('_')))
        return key;

    const QStringList pieces = core.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    QString result = key.left(first) + pieces.first();
    for (qsizetype i = 1; i < pieces.size(); ++i)
        result += pieces[i].left(1).toUpper() + pieces[i].mid(1).toLower();
    return result + key.mid(last + 1);
}

Release decodeObject(const QJsonObject &object);

Release decode(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw DecodingError{QStringLiteral("The data is not valid JSON: %1 at offset %2.")
                                .arg(parseError.errorString())
                                .arg(parseError.offset)};
    if (!document.isObject())
        throw DecodingError{QStringLiteral("Expected an object at the top level.")};

    return decodeObject(document.object());
}

Release decodeObject(const QJsonObject &object)
{
    const Members members(object, QString());
    Release release;
    release.tagName = members.requiredString(QStringLiteral("tagName"));
    release.name = members.optionalString(QStringLiteral("name"));
    release.body = members.optionalString(QStringLiteral("body"));
    release.htmlUrl = members.optionalString(QStringLiteral("htmlUrl"));
    release.publishedAt = members.optionalString(QStringLiteral("publishedAt"));
    const QJsonArray assets = members.requiredArray(QStringLiteral("assets"));
    for (qsizetype i = 0; i < assets.size(); ++i)
        release.assets.append(decodeAsset(assets[i], QStringLiteral("assets[%1]").arg(i)));
    release.draft = object.value(QStringLiteral("draft")).toBool();
    release.prerelease = object.value(QStringLiteral("prerelease")).toBool();
    return release;
}

QList<Release> decodeList(const QByteArray &json)
{
    QList<Release> releases;
    for (const QJsonValue &value : QJsonDocument::fromJson(json).array()) {
        try {
            releases.append(decodeObject(value.toObject()));
        } catch (const DecodingError &) {
        }
    }
    return releases;
}

} // namespace ReleaseDecoder
