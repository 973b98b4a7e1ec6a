#include "core/Import.h"
#include "base/Exception.h"
#include "core/ClientNotes.h"
#include "core/DisplayText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr size_t MaxId = 9;

struct Row {
    std::string name;
    std::string id;
    core::ImportPreview::Status status;
    std::string reason;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << '{' << row.name << ", " << row.id << ", " << row.status << ", " << row.reason
               << '}';
}

std::vector<Row> Rows(const core::ImportPreview& preview) {
    std::vector<Row> rows;
    for (size_t i = 0; i < preview.entries.size(); ++i) {
        rows.push_back({std::string(preview.Name(i)), std::string(preview.Id(i)),
                        preview.entries[i].status, preview.ReasonText(i)});
    }
    return rows;
}

std::vector<Row> Imported(std::string_view bytes, std::string_view fileName = {},
                          const core::Book& book = {}) {
    const core::ImportSource source = core::ReadImport(bytes, fileName);
    return Rows(core::Preview(source, source.defaultField, book, MaxId));
}

constexpr auto New = core::ImportPreview::New;
constexpr auto InBook = core::ImportPreview::InBook;
constexpr auto Skipped = core::ImportPreview::Skipped;

struct Sample {
    const char* what;
    std::string bytes;
    std::vector<Row> rows;
};

class EachFormat : public ::testing::TestWithParam<Sample> {};

} // namespace

TEST_P(EachFormat, MapsNamesAndIdsAndSaysWhyARowIsSkipped) {
    EXPECT_EQ(Imported(GetParam().bytes), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Import, EachFormat,
    ::testing::Values(
        Sample{"our own CSV, with quoting, a BOM and CR LF",
               "\xEF\xBB\xBFname,id\r\n\"Baker, Sons & \"\"Co\"\"\",204518\r\nAcme,42\r\n"
               "\"Two\nLines\",7\r\n",
               {{"Baker, Sons & \"Co\"", "204518", New, ""},
                {"Acme", "42", New, ""},
                {"TwoLines", "7", New, ""}}},
        Sample{"a spreadsheet's: ';', columns named in another order, Windows-1252",
               "ID;Name;Notes\r\n12;M\xFCller GmbH;x\r\n13;Caf\xE9;y\r\n",
               {{"M\xC3\xBCller GmbH", "12", New, ""}, {"Caf\xC3\xA9", "13", New, ""}}},
        Sample{"no header: name then ID; the reasons rows are skipped",
               "Acme,42\nNo ID,\nLetters,12ab\nToo long,1234567890\n,55\nAgain,42\n",
               {{"Acme", "42", New, ""},
                {"No ID", "", Skipped, "no ID"},
                {"Letters", "12ab", Skipped, "the ID holds more than digits"},
                {"Too long", "1234567890", Skipped, "the ID is longer than 9 digits"},
                {"", "55", Skipped, "no name"},
                {"Again", "42", InBook, "the same ID as a row above"}}},
        Sample{"a connection profile through a repeater, with a group; no password read",
               "[remmina]\nname=Front desk\ngroup=Clinic\nprotocol=VNC\nserver=ID:123456\n"
               "proxy=repeater.example:5901\npassword=c2VjcmV0\n",
               {{"Clinic / Front desk", "123456", New, ""}}},
        Sample{"a profile of another protocol is skipped with its reason",
               "[remmina]\nname=Server\nprotocol=RDP\nserver=10.0.0.5\n",
               {{"Server", "10.0.0.5", Skipped, "not a VNC connection"}}},
        Sample{"a connections file with namespaces, containers and the ID in Descr",
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
               "<cm:Connections xmlns:cm=\"http://example.org/cm\" Name=\"Connections\" "
               "ConfVersion=\"2.6\">\n"
               "  <cm:Node Name=\"Clinic &amp; Co\" Type=\"Container\" Descr=\"\">\n"
               "    <cm:Node Name=\"Desk&#32;1\" Type=\"Connection\" Hostname=\"pc1\" "
               "Descr=\"ID:777\" Password=\"secret\" />\n"
               "    <cm:Node Name=\"Desk 2\" Type=\"Connection\" Hostname=\"pc2\" "
               "Descr=\"778\"></cm:Node>\n"
               "  </cm:Node>\n"
               "  <cm:Node Name=\"Top\" Type=\"Connection\" Hostname=\"x\" Descr=\"\" />\n"
               "</cm:Connections>\n",
               {{"Clinic & Co / Desk 1", "777", New, ""},
                {"Clinic & Co / Desk 2", "778", New, ""},
                {"Top", "", Skipped, "no ID"}}},
        Sample{"the manager's ';' export, read by the header's names only",
               "Name;Folder;Description;Icon;Panel;Username;Password;Domain;Hostname;Protocol;"
               "Port\r\nDesk A;;;Icon1;General;;;;123456;VNC;5900;extra;shifted\r\n"
               "Desk B;;ID:99;Icon1;General;;;;host-b;VNC;5900\r\n",
               {{"Desk A", "123456", New, ""},
                {"Desk B", "host-b", Skipped, "the ID holds more than digits"}}}),
    [](const ::testing::TestParamInfo<Sample>& info) {
        return "Sample" + std::to_string(info.index);
    });

TEST(Import, TheUserPicksTheFieldAnIdComesFromAndTheBookDecidesWhatIsNew) {
    const core::ImportSource source = core::ReadImport(
        "<Connections><Node Name=\"A\" Type=\"Connection\" Hostname=\"host\" Descr=\"11\" "
        "UserField=\"21\"/><Node Name=\"B\" Type=\"Connection\" Hostname=\"host\" Descr=\"12\" "
        "UserField=\"22\"/></Connections>");
    EXPECT_EQ(source.idFields[source.defaultField], "Descr");
    const size_t user = 2;
    ASSERT_EQ(source.idFields[user], "UserField");
    const core::Book book{{"Bravo"}, {"22"}};
    const core::ImportPreview preview = core::Preview(source, user, book, MaxId);
    EXPECT_EQ(Rows(preview),
              (std::vector<Row>{{"A", "21", New, ""},
                                {"B", "22", InBook, "the ID is in your book (Bravo)"}}));
    EXPECT_EQ(core::PreviewCounts(preview),
              "1 new \xC2\xB7 1 already in your book (same ID) \xC2\xB7 0 without a usable ID "
              "(skipped)");
}

TEST(Import, ProfilesOfSeveralFilesAndNestedFoldersKeepEachRowsOwnText) {
    // Two files read one after the other, as a folder of profiles is.
    core::ImportSource source = core::ReadImport(
        "[remmina]\nname=One\nprotocol=VNC\nserver=ID:1\nproxy=r:1\n", "one.remmina");
    core::Append(source, core::ReadImport("[other]\nname=x\n[remmina]\nname=\tTwo\x01 \n"
                                          "protocol=VNC\nserver=id: 22\nproxy=r:1\n",
                                          "two.remmina"));
    EXPECT_EQ(Rows(core::Preview(source, 0, {}, MaxId)),
              (std::vector<Row>{{"One", "1", New, ""}, {"Two", "22", New, ""}}));
    // Containers in containers, comments, CDATA and elements of no interest on the way.
    EXPECT_EQ(Imported("<?xml version=\"1.0\"?><Connections><!-- <Node Name=\"no\"/> -->"
                       "<Node Name=\"A\" Type=\"Container\"><Panel/><Node Name=\"B\" "
                       "Type=\"Container\"><![CDATA[<Node Name=\"no\"/>]]><Node "
                       "Name=\"C&#x263A;\" Type=\"Connection\" Hostname=\"5\"/></Node><Node "
                       "Name=\"D\" Type=\"Connection\" Hostname=\"6\"/></Node><Node Name=\"E\" "
                       "Type=\"Connection\" Hostname=\"7\"/></Connections>"),
              (std::vector<Row>{{"A / B / C\xE2\x98\xBA", "5", New, ""},
                                {"A / D", "6", New, ""},
                                {"E", "7", New, ""}}));
}

TEST(Import, BadInputIsRefusedWithItsReason) {
    const struct {
        std::string bytes;
        std::string message;
    } cases[] = {
        {"name,id\nAcme,42\n\"Open,7\nMore,8\n", "Line 3 opens a quote that is never closed"},
        {"name,id\nAc\"me,42\n", "Line 2 has a quote inside a field that does not start with one"},
        {std::string("PK\x03\x04\0\0binary", 12), "This is a binary file, not a list of clients"},
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [<!ENTITY lol \"lol\">]>\n<Connections/>",
         "The XML file has a document type or entity declarations: refused, never expanded"},
        {"<Connections><Node Name=\"&lol;\" Type=\"Connection\"/></Connections>",
         "The XML file uses an entity it would have to declare: refused"},
        {"<Connections FullFileEncryption=\"True\">AAAA</Connections>",
         "This connections file is encrypted: export it again without encryption, then import "
         "that file"},
        {"<html><body/></html>",
         "This XML file is not a connections file (no <Connections> element)"},
        {"<Connections><Node Name=\"A", "The XML file ends inside an attribute's value"},
    };
    for (const auto& c : cases) {
        try {
            core::ReadImport(c.bytes);
            ADD_FAILURE() << "read: " << c.bytes;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message) << c.bytes;
        }
    }
}

TEST(Import, AnExportedBookComesBackTheSame) {
    const std::vector<std::string> names{"Baker, Sons", "Quote \"Q\"", " Spaced ", "Caf\xE9",
                                         "Plain"};
    const std::vector<std::string> ids{"1", "22", "333", "4444", "55555"};
    const std::string csv = core::ExportCsv({names, ids});
    EXPECT_EQ(csv.substr(0, 9), "name,id\r\n");
    EXPECT_NE(csv.find("\"Baker, Sons\",1\r\n"), std::string::npos);
    // The Windows-1252 name leaves as UTF-8.
    EXPECT_NE(csv.find("Caf\xC3\xA9,4444\r\n"), std::string::npos);
    const core::ImportSource source = core::ReadImport(csv);
    const core::ImportPreview back = core::Preview(source, 0, {}, MaxId);
    ASSERT_EQ(back.entries.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        // Blanks around a name go, as they go from a typed one.
        EXPECT_EQ(back.Name(i), i == 2 ? "Spaced" : i == 3 ? "Caf\xC3\xA9" : names[i]);
        EXPECT_EQ(back.Id(i), ids[i]);
    }
}

// A cell a spreadsheet would run leaves as text, and comes back exactly.
TEST(Import, AFormulaCellLeavesAsTextAndComesBackUnchanged) {
    const std::vector<std::string> names{"=HYPERLINK(\"http://x\",\"y\")",
                                         "+1",
                                         "-2",
                                         "@SUM(A1)",
                                         "'quoted",
                                         "''twice",
                                         "O'Brien",
                                         "'=mixed"};
    const std::vector<std::string> ids(names.size(), "7");
    const std::string csv = core::ExportCsv({names, ids});
    EXPECT_NE(csv.find("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",7\r\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\"'+1\",7\r\n"), std::string::npos);
    EXPECT_NE(csv.find("\"'@SUM(A1)\",7\r\n"), std::string::npos);
    EXPECT_NE(csv.find("\r\nO'Brien,7\r\n"), std::string::npos);
    // No line of the export starts a cell with what a spreadsheet would run.
    for (const char* formula : {"\n=", "\n+", "\n-", "\n@", "\n\"=", "\n\"+", "\n\"-", "\n\"@"}) {
        EXPECT_EQ(csv.find(formula), std::string::npos) << formula;
    }
    const core::ImportSource source = core::ReadImport(csv);
    ASSERT_EQ(source.Rows(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(source.Name(i), names[i]);
    }
    // Another program's cell that merely starts with an apostrophe keeps it.
    EXPECT_EQ(core::ReadImport("name,id\r\n'Acme,1\r\n").Name(0), "'Acme");
}

// Whatever a file holds, a name is what a typed one may be: no invisible or reordering
// character, at most the book's length, and the whole file's names bounded.
TEST(Import, NamesLoseInvisibleCharactersAndKeepBothEndsOfADeepPath) {
    const std::string rlo = "\xE2\x80\xAE";
    const std::string zwsp = "\xE2\x80\x8B";
    const core::ImportSource csv =
        core::ReadImport("name,id\r\nBaker & Sons" + rlo + "815402," + "1\r\nA" + zwsp + "B,2\r\n");
    EXPECT_EQ(csv.Name(0), "Baker & Sons815402");
    EXPECT_EQ(csv.Name(1), "AB");

    // Folders nested deeper than a name can say: both ends stay, "…" between them.
    std::string xml = "<?xml version=\"1.0\"?><cm:Connections xmlns:cm=\"x\" Name=\"C\">";
    const int depth = 3000;
    for (int i = 0; i < depth; ++i) {
        xml += "<Node Name=\"Folder" + std::to_string(i) + "\" Type=\"Container\">";
    }
    for (int i = 0; i < 200; ++i) {
        xml += "<Node Name=\"Desk" + std::to_string(i) + "\" Type=\"Connection\" Hostname=\"" +
               std::to_string(i + 1) + "\"/>";
    }
    for (int i = 0; i < depth; ++i) {
        xml += "</Node>";
    }
    xml += "</cm:Connections>";
    const core::ImportSource deep = core::ReadImport(xml);
    ASSERT_EQ(deep.Rows(), 200u);
    const std::string_view last = deep.Name(199);
    EXPECT_TRUE(last.starts_with("Folder0 / Folder1 / ")) << last.substr(0, 40);
    EXPECT_TRUE(last.ends_with("Folder2999 / Desk199"));
    EXPECT_NE(last.find("\xE2\x80\xA6"), std::string_view::npos);
    EXPECT_LE(last.size(), core::MaxNameCharacters + 2);
    // Each name is bounded, so the file's text is not its depth times its connections.
    EXPECT_LT(deep.text.size(), 200 * 2 * core::MaxNameCharacters);
}

TEST(Import, ACsvThatNamesNoColumnsLeavesBothChoicesToTheUser) {
    // A customer number and a remote-support ID: the column titled an ID is offered first.
    const core::ImportSource source =
        core::ReadImport("Firma;Kundennr.;Fernwartungs-ID\r\n"
                         "Z\xC3\xBCrich Uhren Atelier;10044;204518\r\nB\xC3\xA4"
                         "ckerei;10045;778899\r\n");
    ASSERT_TRUE(source.nameChoice);
    EXPECT_EQ(source.idFields, (std::vector<std::string>{"Firma", "Kundennr.", "Fernwartungs-ID"}));
    EXPECT_EQ(source.defaultField, 2u);
    EXPECT_EQ(source.defaultNameField, 0u);
    // The book knows Zürich under another ID, and the bakery's ID under its own name.
    const core::Book book{{"Z\xC3\xBCrich Uhren Atelier", "Old bakery"}, {"555", "778899"}};
    EXPECT_EQ(Rows(core::Preview(source, source.defaultField, book, MaxId)),
              (std::vector<Row>{{"Z\xC3\xBCrich Uhren Atelier", "204518", New,
                                 "same name, other ID (Z\xC3\xBCrich Uhren Atelier 555)"},
                                {"B\xC3\xA4"
                                 "ckerei",
                                 "778899", InBook, "the ID is in your book (Old bakery)"}}));
    // The user's own choice: the customer number as the name, say.
    EXPECT_EQ(Rows(core::Preview(source, 2, book, MaxId, 1))[0].name, "10044");

    // Without a header every row is a client; the columns are numbered, the ID's found by its
    // digits.
    const core::ImportSource plain = core::ReadImport("204518,Baker & Sons\r\n42,Acme\r\n");
    EXPECT_EQ(plain.idFields, (std::vector<std::string>{"column 1", "column 2"}));
    EXPECT_EQ(Imported("204518,Baker & Sons\r\n42,Acme\r\n"),
              (std::vector<Row>{{"Baker & Sons", "204518", New, ""}, {"Acme", "42", New, ""}}));
    // A first row of thousands of columns offers a few of them, and costs no more.
    EXPECT_EQ(core::ReadImport(std::string(100000, ',') + "\r\na,1\r\n").idFields.size(), 64u);
}

TEST(Import, AConnectionManagersCsvPutsItsFoldersInFrontOfTheName) {
    EXPECT_EQ(Imported("Name;Folder;Description;Hostname;Protocol;Port\r\n"
                       "Baker;Customers\\North;204518;host;VNC;5900\r\n"
                       "Acme;;42;host;VNC;5900\r\n",
                       "export.csv"),
              (std::vector<Row>{{"Customers / North / Baker", "204518", New, ""},
                                {"Acme", "42", New, ""}}));
}

// Tags and notes come in where the source has them (a connection manager's description, a
// profile's group, our own export's columns) and leave as two more columns; a book without any
// exports the two columns it always had.
TEST(Import, NotesAndTagsComeInWhereTheSourceHasThemAndLeaveAsTwoMoreColumns) {
    const core::ImportSource xml = core::ReadImport(
        "<Connections><Node Name=\"A\" Type=\"Connection\" Hostname=\"5\" Descr=\"Gate "
        "4711\"/><Node Name=\"B\" Type=\"Connection\" Hostname=\"6\"/></Connections>");
    EXPECT_EQ(xml.Note(0), "Gate 4711");
    EXPECT_EQ(xml.Note(1), "");
    EXPECT_EQ(xml.Tags(0), "");
    const core::ImportSource managerCsv =
        core::ReadImport("Name;Folder;Hostname;Protocol;Description\nA;Shop;5;VNC;Back door\n");
    EXPECT_EQ(managerCsv.Note(0), "Back door");
    // Profiles of a folder: the group of each, and rows of a file without one keep theirs.
    core::ImportSource profiles = core::ReadImport(
        "[remmina]\nname=One\ngroup=Berlin\nprotocol=VNC\nserver=ID:1\nproxy=r:1\n", "1.remmina");
    core::Append(profiles,
                 core::ReadImport("[remmina]\nname=Two\nprotocol=VNC\nserver=ID:2\nproxy=r:1\n",
                                  "2.remmina"));
    ASSERT_EQ(profiles.tags.size(), 2u);
    EXPECT_EQ(profiles.Tags(0), "Berlin");
    EXPECT_EQ(profiles.Tags(1), "");

    // Our export and back.
    core::ClientNotes notes;
    notes.Set({"Baker", "1"}, {{"vip", "key-account"}, "Gate 4711\nask for Dana"});
    notes.Set({"Gone", "9"}, {{"old"}, "not in the book"});
    const core::Book book{{"Baker", "Carol"}, {"1", "2"}};
    const std::string csv = core::ExportCsv(book, &notes);
    EXPECT_EQ(csv, "name,id,tags,note\r\n"
                   "Baker,1,\"vip,key-account\",Gate 4711 ask for Dana\r\n"
                   "Carol,2,,\r\n");
    const core::ImportSource back = core::ReadImport(csv);
    EXPECT_EQ(back.Tags(0), "vip,key-account");
    EXPECT_EQ(back.Note(0), "Gate 4711 ask for Dana");
    EXPECT_EQ(back.Note(1), "");
    EXPECT_EQ(core::ExportCsv(book, nullptr), "name,id\r\nBaker,1\r\nCarol,2\r\n");
    core::ClientNotes others;
    others.Set({"Gone", "9"}, {{"old"}, ""});
    EXPECT_EQ(core::ExportCsv(book, &others), "name,id\r\nBaker,1\r\nCarol,2\r\n");
}
