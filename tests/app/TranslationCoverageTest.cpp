// Guards the English translation: every text of the translation source must
// have an English form in the built file, and every Chinese text that a form
// or a source file shows must be in it.
#include "app/Configuration.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

namespace {

struct Message {
    QString context;
    QString source;
};

QList<Message> readTs(const QString& path) {
    QList<Message> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader xml(&f);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            out.append({context, xml.readElementText()});
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(path) << ": " << qPrintable(xml.errorString());
    return out;
}

bool hasChinese(const QString& text) {
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}"
                                                       "\\x{ff00}-\\x{ffef}]"));
    return cjk.match(text).hasMatch();
}

QString sourceDir() {
    return QStringLiteral(ORUN_SOURCE_DIR);
}

class Translation : public ::testing::Test {
protected:
    void SetUp() override {
        // Tests run beside the built language/ folder.
        ASSERT_TRUE(english.load(QDir::current().filePath("language/orunapp_en_cn.qm")));
        ASSERT_TRUE(chinese.load(QDir::current().filePath("language/orunapp_zh_cn.qm")));
    }
    AppTranslator english;
    AppTranslator chinese;
};

TEST_F(Translation, EveryTextHasAnEnglishForm) {
    const QList<Message> en = readTs(sourceDir() + "/resources/orunapp_en_cn.ts");
    const QList<Message> zh = readTs(sourceDir() + "/resources/orunapp_zh_cn.ts");
    ASSERT_FALSE(en.isEmpty());
    QSet<QString> enSources;
    for (const Message& m : en) {
        enSources.insert(m.source);
        const QString t = english.translate(m.context.toUtf8(), m.source.toUtf8());
        EXPECT_FALSE(t.isEmpty()) << qPrintable(m.source);
        EXPECT_FALSE(hasChinese(t)) << qPrintable(m.source) << " -> " << qPrintable(t);
    }
    // The Chinese file carries the same texts, each as itself.
    QSet<QString> zhSources;
    for (const Message& m : zh) {
        zhSources.insert(m.source);
        EXPECT_EQ(chinese.translate(m.context.toUtf8(), m.source.toUtf8()), m.source);
    }
    EXPECT_EQ(zhSources, enSources);
}

// Quoted texts of one C++ source: comments are skipped, adjacent literals are
// joined as the compiler joins them, and statements that only write to the
// debug log or the transport's error log are left out.
void collectSourceTexts(const QString& code, const QString& path, QStringList* where) {
    static const QRegularExpression logCall(
        QStringLiteral("\\b(qDebug|qInfo|qWarning|qCritical|QMessageLogger|LOG_[A-Z]+|cerr)\\b"));
    QString statement;   // code of the current statement, literals left out
    QStringList pending; // texts of the current statement
    QString literal;
    bool joining = false; // a literal ended and only blanks followed so far
    auto flushLiteral = [&]() {
        if (joining) {
            pending.append(literal);
            literal.clear();
            joining = false;
        }
    };
    auto endStatement = [&]() {
        flushLiteral();
        if (!logCall.match(statement).hasMatch()) {
            for (const QString& t : pending)
                where->append(path + ": " + t);
        }
        pending.clear();
        statement.clear();
    };
    const int n = code.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = code[i];
        if (c == '/' && i + 1 < n && code[i + 1] == '/') {
            while (i < n && code[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && code[i + 1] == '*') {
            i += 2;
            while (i + 1 < n && !(code[i] == '*' && code[i + 1] == '/'))
                ++i;
            ++i;
            continue;
        }
        if (c == '\'') { // character literal
            ++i;
            while (i < n && code[i] != '\'') {
                if (code[i] == '\\')
                    ++i;
                ++i;
            }
            continue;
        }
        if (c == '"') {
            if (!joining)
                literal.clear();
            ++i;
            while (i < n && code[i] != '"') {
                if (code[i] == '\\' && i + 1 < n) {
                    literal += code[i + 1] == 'n' ? QChar('\n') : code[i + 1];
                    i += 2;
                    continue;
                }
                literal += code[i++];
            }
            joining = true;
            continue;
        }
        if (c.isSpace())
            continue;
        flushLiteral();
        if (c == ';' || c == '{' || c == '}')
            endStatement();
        else
            statement += c;
    }
    endStatement();
}

// Chinese texts shown by the program: form texts and quoted texts of the sources.
QSet<QString> chineseLiterals(QStringList* where) {
    static const QRegularExpression uiString(QStringLiteral("<string[^>]*>([^<]*)</string>"));
    QStringList all;
    for (const char* folder : {"app", "camera", "kcpclient", "video", "ui"}) {
        QDirIterator it(sourceDir() + "/" + folder, {"*.cpp", "*.h", "*.ui"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString content = QString::fromUtf8(f.readAll());
            if (path.endsWith(".ui")) {
                auto m = uiString.globalMatch(content);
                while (m.hasNext()) {
                    QString text = m.next().captured(1);
                    text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
                    text.replace("&amp;", "&");
                    all.append(path + ": " + text);
                }
            } else {
                collectSourceTexts(content, path, &all);
            }
        }
    }
    QSet<QString> out;
    for (const QString& line : all) {
        const QString text = line.section(": ", 1);
        if (hasChinese(text) && !out.contains(text)) {
            out.insert(text);
            where->append(line);
        }
    }
    return out;
}

TEST_F(Translation, ChineseTextsOfFormsAndSourcesAreTranslated) {
    QStringList where;
    const QSet<QString> texts = chineseLiterals(&where);
    // The device messages alone give a good number of texts.
    EXPECT_GE(texts.size(), 20);
    for (const QString& line : where) {
        const QString text = line.section(": ", 1);
        const QString t = english.translate("AnyWidget", text.toUtf8());
        EXPECT_FALSE(t.isEmpty()) << "no English for " << qPrintable(line);
    }
}

} // namespace
