// SPDX-License-Identifier: GPL-2.0-or-later
#include "markupdocument.h"
#include "markupencoding.h"
#include "test_files.h"

#include <sys/resource.h>
#include <ctime>
#include <sys/stat.h>
#include <csignal>
#include <dirent.h>

namespace {

bool logHas(const MarkupDocument& doc, const std::string& name)
{
    for (const auto& entry : doc.resultLog())
        if (entry.name == name)
            return true;
    return false;
}

std::string utf16(const std::u16string& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        char hi = char(c >> 8), lo = char(c & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    }
    return bytes;
}

int filesIn(const std::string& dir)
{
    int n = 0;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.'))
            ++n;
    closedir(d);
    return n;
}

} // namespace

TEST(MarkupDocument, AppendingBuildsOneElementPerLineWithCrLf)
{
    MarkupDocument doc;
    ASSERT_TRUE(doc.appendElement("A"));
    EXPECT_EQ(doc.document(), "<A/>\r\n");
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.appendElement("B"));
    EXPECT_EQ(doc.document(), "<A>\r\n<B/>\r\n</A>\r\n");
    ASSERT_TRUE(doc.setElementText("1"));
    ASSERT_TRUE(doc.appendElement("C"));
    ASSERT_TRUE(doc.setElementText(""));
    EXPECT_EQ(doc.document(), "<A>\r\n<B>1</B>\r\n<C></C>\r\n</A>\r\n");

    // Appending after an element in the middle goes before the next sibling's line.
    MarkupDocument mid;
    ASSERT_TRUE(mid.setDocument("<r>\r\n<x/>\r\n<z/>\r\n</r>\r\n"));
    ASSERT_TRUE(mid.seekElement("r") && mid.enterElement() && mid.seekElement("x"));
    ASSERT_TRUE(mid.appendElement("y"));
    EXPECT_EQ(mid.document(), "<r>\r\n<x/>\r\n<y/>\r\n<z/>\r\n</r>\r\n");
    ASSERT_TRUE(mid.seekElement("z"));  // the index followed the insertion

    // A parent with tags but no content gets the line break in front of the new child.
    MarkupDocument bare;
    ASSERT_TRUE(bare.setDocument("<p a=\"1\"></p>\r\n"));
    ASSERT_TRUE(bare.seekElement("p") && bare.enterElement() && bare.appendElement("c"));
    EXPECT_EQ(bare.document(), "<p a=\"1\">\r\n<c/>\r\n</p>\r\n");

    // An empty-element parent with attributes opens up around the child.
    MarkupDocument empty;
    ASSERT_TRUE(empty.setDocument("<p a='>' />\r\n"));
    ASSERT_TRUE(empty.seekElement("p") && empty.enterElement() && empty.appendElement("c"));
    EXPECT_EQ(empty.document(), "<p a='>'>\r\n<c/>\r\n</p>\r\n");
    EXPECT_TRUE(empty.isWellFormed());

    EXPECT_FALSE(doc.appendElement("bad name"));
    EXPECT_FALSE(doc.appendElement(""));
    EXPECT_FALSE(doc.appendElement("a<b"));
}

TEST(MarkupDocument, TextIsEscapedOnWritingAndResolvedOnReading)
{
    MarkupDocument doc;
    ASSERT_TRUE(doc.setDocument("<r><n/><m>old</m><k><c/></k></r>"));
    ASSERT_TRUE(doc.seekElement("r") && doc.enterElement());
    EXPECT_FALSE(doc.setElementText("x"));  // no current element
    ASSERT_TRUE(doc.seekElement("n"));
    const std::string tricky = "a&b<c>d \"q\" 'p' &amp; 中";
    ASSERT_TRUE(doc.setElementText(tricky));
    ASSERT_TRUE(doc.seekElement("m"));
    ASSERT_TRUE(doc.setElementText("new"));
    EXPECT_EQ(doc.document(),
              "<r><n>a&amp;b&lt;c&gt;d \"q\" 'p' &amp;amp; 中</n><m>new</m><k><c/></k></r>");
    ASSERT_TRUE(doc.seekElement("k"));
    EXPECT_FALSE(doc.setElementText("x"));  // has a child element
    EXPECT_EQ(doc.elementText(), "");

    MarkupDocument back;
    ASSERT_TRUE(back.setDocument(doc.document()));
    ASSERT_TRUE(back.seekElement("r") && back.enterElement() && back.seekElement("n"));
    EXPECT_EQ(back.elementText(), tricky);
}

TEST(MarkupDocument, ElementTextResolvesEveryKindOfReference)
{
    MarkupDocument doc;
    ASSERT_TRUE(doc.setDocument(
        "<r><t>&lt;&gt;&amp;&quot;&apos;|&#65;&#x4e2D;&#X1F600;|&copy;&nbsp;&euro;&hearts;&Omega;"
        "|&bogus;&#xD800;&#;&amp|a & b|<![CDATA[<x>&amp;]]><!-- skip -->z<?pi ?>.</t></r>"));
    ASSERT_TRUE(doc.seekElement("r") && doc.enterElement() && doc.seekElement("t"));
    EXPECT_EQ(doc.elementText(),
              "<>&\"'|A中\xF0\x9F\x98\x80|\xC2\xA9\xC2\xA0\xE2\x82\xAC\xE2\x99\xA5\xCE\xA9"
              "|&bogus;&#xD800;&#;&amp|a & b|<x>&amp;z.");
}

TEST(MarkupDocument, StructuralErrorsMakeTheDocumentIllFormed)
{
    struct Case
    {
        const char* text;
        const char* entry;
    };
    const Case cases[] = {
        {"<a/><b/>", "root_has_sibling"},
        {"<a></b></a>", "lone_end_tag"},
        {"<a><b></a>", "unended_start_tag"},
        {"<a>", "unended_start_tag"},
        {"<a x=\"1>", "unended_start_tag"},
        {"", "no_root_element"},
        {"  just text ", "no_root_element"},
        {"<a><!-- open</a>", "unended_comment"},
        {"<a><![CDATA[x</a>", "unended_cdata_section"},
    };
    for (const Case& c : cases) {
        MarkupDocument doc;
        EXPECT_FALSE(doc.setDocument(c.text)) << c.text;
        EXPECT_TRUE(logHas(doc, c.entry)) << c.text << ": " << doc.resultText();
    }
    MarkupDocument null;
    EXPECT_FALSE(null.setDocument(static_cast<const char*>(nullptr)));

    // No editing next to or inside an element whose end tag is missing.
    MarkupDocument unended;
    ASSERT_FALSE(unended.setDocument("<a><b>x</a>"));
    ASSERT_TRUE(unended.seekElement("a") && unended.enterElement() && unended.seekElement("b"));
    EXPECT_FALSE(unended.appendElement("c"));
    EXPECT_FALSE(unended.setElementText("y"));
    ASSERT_TRUE(unended.enterElement());
    EXPECT_FALSE(unended.appendElement("c"));
    EXPECT_EQ(unended.document(), "<a><b>x</a>");

    // Declarations, comments, instructions and a document type with ">" in its subset are fine.
    MarkupDocument ok;
    EXPECT_TRUE(ok.setDocument("<?xml version=\"1.0\"?>\n<!DOCTYPE r [ <!ENTITY e \">\"> ]>\n"
                               "<!-- c --><r a='x>y'><?p?><b>1 < 2</b></r>\n<!-- end -->"))
        << ok.resultText();
    ASSERT_TRUE(ok.seekElement("r") && ok.enterElement() && ok.seekElement("b"));
    EXPECT_EQ(ok.elementText(), "1 < 2");
}

TEST(MarkupDocument, SeekingMovesForwardOnlyAndFailureKeepsThePosition)
{
    MarkupDocument doc;
    ASSERT_TRUE(doc.setDocument("<r><a>1</a><b>2</b><a>3</a><C>4</C></r>"));
    EXPECT_FALSE(doc.enterElement());  // no current element yet
    EXPECT_FALSE(doc.leaveElement());  // already at the top
    ASSERT_TRUE(doc.seekElement("r") && doc.enterElement());
    ASSERT_TRUE(doc.seekElement("b"));
    ASSERT_TRUE(doc.seekElement("a"));
    EXPECT_EQ(doc.elementText(), "3");
    EXPECT_FALSE(doc.seekElement("b"));  // only before the current element
    EXPECT_EQ(doc.elementText(), "3");
    EXPECT_FALSE(doc.seekElement("c"));  // case matters by default
    doc.setIgnoreCase(true);
    ASSERT_TRUE(doc.seekElement("c"));
    EXPECT_EQ(doc.elementText(), "4");
    ASSERT_TRUE(doc.leaveElement());
    EXPECT_EQ(doc.elementName(), "r");
    EXPECT_FALSE(doc.seekElement("r"));  // the root has no sibling after it
}

class MarkupFile : public TempDirTest
{
};

TEST_F(MarkupFile, Utf8ByteOrderMarkIsKeptAndNewDocumentsHaveNone)
{
    const std::string text = "<r>\r\n<t>中文</t>\r\n</r>\r\n";
    writeBytes("bom.xml", "\xEF\xBB\xBF" + text);
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFile("bom.xml")) << doc.resultText();
    EXPECT_EQ(doc.document(), text);
    EXPECT_TRUE(logHas(doc, "bom"));
    ASSERT_TRUE(doc.saveFile("out.xml"));
    EXPECT_EQ(readBytes("out.xml"), "\xEF\xBB\xBF" + text);

    MarkupDocument fresh;
    fresh.setDocument();
    ASSERT_TRUE(fresh.saveFile("empty.xml"));
    EXPECT_EQ(readBytes("empty.xml"), "");
    ASSERT_TRUE(fresh.setDocument(text));
    ASSERT_TRUE(fresh.saveFile("plain.xml"));
    EXPECT_EQ(readBytes("plain.xml"), text);
}

TEST_F(MarkupFile, Utf16InEitherByteOrderIsReadAndWrittenBack)
{
    const std::u16string text = u"<r><t>\u00E9\u4E2D&amp;</t></r>\r\n";
    for (bool bigEndian : {false, true}) {
        const std::string bytes = utf16(text, bigEndian);
        writeBytes("u16.xml", bytes);
        MarkupDocument doc;
        ASSERT_TRUE(doc.loadFile("u16.xml")) << doc.resultText();
        EXPECT_EQ(doc.document(), "<r><t>\xC3\xA9\xE4\xB8\xAD&amp;</t></r>\r\n");
        EXPECT_EQ(logHas(doc, "endian_swap"), bigEndian);
        EXPECT_TRUE(logHas(doc, "converted_to"));
        ASSERT_TRUE(doc.seekElement("r") && doc.enterElement() && doc.seekElement("t"));
        EXPECT_EQ(doc.elementText(), "\xC3\xA9\xE4\xB8\xAD&");
        ASSERT_TRUE(doc.saveFile("back.xml"));
        EXPECT_EQ(readBytes("back.xml"), bytes);
    }
}

TEST_F(MarkupFile, DeclaredEncodingIsConvertedBothWays)
{
    const std::string gbk =
        "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<r><t>\xC2\xBC\xCA\xD3\xC6\xB5</t></r>\r\n";
    writeBytes("gbk.xml", gbk);
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFile("gbk.xml")) << doc.resultText();
    ASSERT_TRUE(doc.seekElement("r") && doc.enterElement() && doc.seekElement("t"));
    EXPECT_EQ(doc.elementText(), "录视频");
    ASSERT_TRUE(doc.setElementText("主题"));
    ASSERT_TRUE(doc.saveFile("gbk-out.xml"));
    EXPECT_EQ(readBytes("gbk-out.xml"),
              "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<r><t>\xD6\xF7\xCC\xE2</t></r>\r\n");

    // An HTML document names its code page in a meta element.
    writeBytes("page.html",
               "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"/>"
               "</head><body>\xD6\xD0\xCE\xC4</body></html>");
    MarkupDocument html;
    ASSERT_TRUE(html.loadFile("page.html")) << html.resultText();
    ASSERT_TRUE(html.seekElement("html") && html.enterElement() && html.seekElement("body"));
    EXPECT_EQ(html.elementText(), "中文");
}

TEST_F(MarkupFile, UndeclaredTextIsUtf8WhenValidElseTheLocaleCodePage)
{
    setenv("LC_ALL", "C.UTF-8", 1);  // a UTF-8 locale: the legacy fallback applies
    EXPECT_EQ(MarkupEncoding::defaultCodePage(), "GBK");

    writeBytes("legacy.xml", "\r\n<a>\xD6\xD0\xCE\xC4&amp;\xD6\xF7\xCC\xE2</a>\r\n");
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFile("legacy.xml")) << doc.resultText();
    EXPECT_TRUE(logHas(doc, "utf8_detection"));
    EXPECT_EQ(doc.resultLog().back().toString(), "read encoding=GBK length=24");
    ASSERT_TRUE(doc.seekElement("a"));
    EXPECT_EQ(doc.elementText(), "中文&主题");
    // Once read, the text is UTF-8 and is saved as such, with nothing lost.
    ASSERT_TRUE(doc.saveFile("legacy-out.xml"));
    EXPECT_EQ(readBytes("legacy-out.xml"), "\r\n<a>中文&amp;主题</a>\r\n");

    writeBytes("utf8.xml", " <a>中文</a>");
    MarkupDocument utf8;
    ASSERT_TRUE(utf8.loadFile("utf8.xml"));
    ASSERT_TRUE(utf8.seekElement("a"));
    EXPECT_EQ(utf8.elementText(), "中文");

    writeBytes("nulls.xml", std::string("<a>x\0y</a>\0", 12));
    MarkupDocument nulls;
    ASSERT_TRUE(nulls.loadFile("nulls.xml"));
    EXPECT_EQ(nulls.document(), "<a>xy</a>");
    EXPECT_TRUE(logHas(nulls, "nulls_removed"));
}

TEST_F(MarkupFile, UnreadableOrIllFormedFilesFailToLoad)
{
    MarkupDocument doc;
    EXPECT_FALSE(doc.loadFile("missing.xml"));
    ASSERT_FALSE(doc.resultLog().empty());
    EXPECT_EQ(doc.resultLog()[0].name, "file_error");
    EXPECT_FALSE(doc.resultLog()[0].message.empty());

    for (const char* text : {"<a/><b/>", "<a></b></a>", "<a><b></a>", ""}) {
        writeBytes("bad.xml", text);
        EXPECT_FALSE(doc.loadFile("bad.xml")) << text;
    }
}

TEST_F(MarkupFile, FailedSaveLeavesThePreviousFileIntact)
{
    const std::string old = "<old>" + std::string(4000, 'x') + "</old>\r\n";
    writeBytes("keep.xml", old);
    chmod("keep.xml", 0640);

    MarkupDocument doc;
    ASSERT_TRUE(doc.setDocument("<new>" + std::string(8000, 'y') + "</new>\r\n"));

    // A file size limit makes the write fail half-way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved1 = doc.saveFile("keep.xml");
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(saved1);
    EXPECT_TRUE(logHas(doc, "file_error"));
    EXPECT_EQ(readBytes("keep.xml"), old);
    EXPECT_EQ(filesIn("."), 1);  // no temporary file left behind

    // A folder that does not exist, and (where permissions bind) a read-only one.
    EXPECT_FALSE(doc.saveFile("nowhere/keep.xml"));
    if (geteuid() != 0) {
        ASSERT_EQ(mkdir("ro", 0755), 0);
        writeBytes("ro/keep.xml", old);
        ASSERT_EQ(chmod("ro", 0555), 0);
        EXPECT_FALSE(doc.saveFile("ro/keep.xml"));
        EXPECT_EQ(readBytes("ro/keep.xml"), old);
        chmod("ro", 0755);
    }

    // A successful save replaces the file and keeps its permissions.
    ASSERT_TRUE(doc.saveFile("keep.xml"));
    EXPECT_EQ(readBytes("keep.xml"), doc.document());
    struct stat st;
    ASSERT_EQ(stat("keep.xml", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Saving through a symbolic link replaces the file it points at, not the link.
    ASSERT_EQ(mkdir("real", 0755), 0);
    writeBytes("real/target.xml", old);
    ASSERT_EQ(symlink("real/target.xml", "link.xml"), 0);
    ASSERT_TRUE(doc.saveFile("link.xml"));
    struct stat lst;
    ASSERT_EQ(lstat("link.xml", &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(readBytes("real/target.xml"), doc.document());
}

TEST_F(MarkupFile, Utf8UnderALegacyDeclarationIsReadAsUtf8)
{
    // Saved as UTF-8 by an editor that left the declaration alone.
    const std::string names = "<t>Mine-été-我的</t><t>@ 录讲学</t>";
    for (const char* declared : {"GBK", "ISO-8859-1", "windows-1252"}) {
        const std::string text = std::string("<?xml version=\"1.0\" encoding=\"") + declared + "\"?>\r\n<r>" + names + "</r>\r\n";
        writeBytes("mis.xml", text);
        MarkupDocument doc;
        ASSERT_TRUE(doc.loadFile("mis.xml")) << doc.resultText();
        EXPECT_TRUE(logHas(doc, "declaration_ignored")) << declared;
        EXPECT_FALSE(logHas(doc, "conversion_loss")) << declared;
        ASSERT_TRUE(doc.seekElement("r") && doc.enterElement() && doc.seekElement("t"));
        EXPECT_EQ(doc.elementText(), "Mine-été-我的") << declared;
        ASSERT_TRUE(doc.saveFile("mis-out.xml"));
        EXPECT_EQ(readBytes("mis-out.xml"), text) << "saved as read, not converted to " << declared;
    }
    // A short run that both read sensibly keeps to the declaration ("茅" in GBK).
    writeBytes("short.xml", "<?xml version=\"1.0\" encoding=\"GBK\"?><t>\xC3\xA9</t>");
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFile("short.xml"));
    ASSERT_TRUE(doc.seekElement("t"));
    EXPECT_EQ(doc.elementText(), "茅");
}

TEST_F(MarkupFile, OnlyRegularFilesAreReadOrReplaced)
{
    ASSERT_EQ(mkfifo("fifo.xml", 0600), 0);
    MarkupDocument doc;
    // Neither waits for a writer nor reads without end.
    for (const char* path : {"fifo.xml", "/dev/zero", "."}) {
        EXPECT_FALSE(doc.loadFile(path)) << path;
        ASSERT_FALSE(doc.resultLog().empty());
        EXPECT_EQ(doc.resultLog()[0].name, "file_error") << path;
    }
    ASSERT_TRUE(doc.setDocument("<a/>"));
    EXPECT_FALSE(doc.saveFile("fifo.xml"));
    struct stat st;
    ASSERT_EQ(stat("fifo.xml", &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(MarkupDocument, UnmatchedEndTagsTakeLinearTime)
{
    // 700 KB of tags that never match: each end tag used to search all the open elements.
    const int n = 100000;
    std::string text = "<Zolmet>";
    for (int i = 0; i < n; ++i)
        text += "<a>";
    for (int i = 0; i < n; ++i)
        text += "</b>";
    text += "</Zolmet>";
    ASSERT_GE(text.size(), 700000u);
    // The processor time this thread spent, which a busy machine does not inflate as it does
    // the time on the clock. Searching all the open elements for each end tag takes far longer.
    const auto cpuSeconds = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + t.tv_nsec / 1e9;
    };
    const double start = cpuSeconds();
    MarkupDocument doc;
    EXPECT_FALSE(doc.setDocument(text));
    EXPECT_LT(cpuSeconds() - start, 1.0);
    // The root still ends where its end tag is, and closes what was left open inside it.
    ASSERT_TRUE(doc.seekElement("Zolmet"));
    EXPECT_FALSE(doc.isElementWhole());
}
