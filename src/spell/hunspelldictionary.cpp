#include "spell/hunspelldictionary.h"

#include "core/errors.h"

#include <QFile>

#include <hunspell/hunspell.hxx>

namespace tl::spell {

namespace {

// A character set name as an .aff file writes it, as Qt knows it.
QString qtEncodingName(const QString &affName)
{
    QString name = affName.trimmed();
    if (name.startsWith(QStringLiteral("microsoft-cp"), Qt::CaseInsensitive))
        return QStringLiteral("windows-") + name.mid(12);
    return name;
}

} // namespace

HunspellDictionary::HunspellDictionary(const Dictionary &dictionary)
    : dictionary_(dictionary)
{
    hunspell_ = std::make_unique<Hunspell>(QFile::encodeName(dictionary.affPath).constData(),
                                           QFile::encodeName(dictionary.dicPath).constData());
    encoding_ = QString::fromStdString(hunspell_->get_dict_encoding());
    const QString name = qtEncodingName(encoding_);
    utf8_ = name.compare(QStringLiteral("UTF-8"), Qt::CaseInsensitive) == 0
        || name.compare(QStringLiteral("UTF8"), Qt::CaseInsensitive) == 0;
    if (!utf8_) {
        encoder_ = QStringEncoder(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
        decoder_ = QStringDecoder(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
        if (!encoder_.isValid() || !decoder_.isValid())
            throw AppError(QStringLiteral("The dictionary %1 is written in the character set %2, "
                                          "which the program cannot read.")
                               .arg(dictionary.name, encoding_)
                               .toStdString());
    }
}

HunspellDictionary::~HunspellDictionary() = default;

bool HunspellDictionary::encode(QStringView word, std::string &out)
{
    if (utf8_) {
        out = word.toUtf8().toStdString();
        return true;
    }
    // A character the set lacks cannot be in the dictionary.
    const QByteArray bytes = encoder_.encode(word);
    if (encoder_.hasError()) {
        encoder_.resetState();
        return false;
    }
    out.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

bool HunspellDictionary::spell(QStringView word)
{
    std::string bytes;
    return encode(word, bytes) && hunspell_->spell(bytes);
}

QStringList HunspellDictionary::suggest(QStringView word)
{
    std::string bytes;
    QStringList out;
    if (!encode(word, bytes))
        return out;
    for (const std::string &s : hunspell_->suggest(bytes)) {
        const QByteArray b(s.data(), static_cast<qsizetype>(s.size()));
        out << (utf8_ ? QString::fromUtf8(b) : QString(decoder_.decode(b)));
    }
    return out;
}

bool HunspellDictionary::add(QStringView word)
{
    std::string bytes;
    return encode(word, bytes) && hunspell_->add(bytes) == 0;
}

} // namespace tl::spell
