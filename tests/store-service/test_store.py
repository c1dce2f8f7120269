"""The project's store as the run command starts it: its catalogue made by
make_catalogue.py into a fresh folder and served by store.py --catalogue.
The songs are read back by peers (mido, mutagen), the replies as the
program's store client reads them."""
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ET

import mido
from mutagen.id3 import ID3

SERVICE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "store-service")


def start(*args):
    process = subprocess.Popen([sys.executable, os.path.join(SERVICE, "store.py")] + list(args),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    return process, line


class StoreService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        subprocess.run([sys.executable, os.path.join(SERVICE, "make_catalogue.py"), cls.folder.name], check=True,
                       stdout=subprocess.DEVNULL)
        cls.process, line = start("--catalogue", cls.folder.name)
        cls.base = "http://127.0.0.1:" + line.split()[1]

    @classmethod
    def tearDownClass(cls):
        cls.process.terminate()
        cls.process.wait()
        cls.folder.cleanup()

    def post(self, path, **form):
        body = urllib.parse.urlencode(form).encode()
        with urllib.request.urlopen(self.base + path, body) as reply:
            return ET.fromstring(reply.read())

    def get(self, url):
        with urllib.request.urlopen(url) as reply:
            return reply.read()

    def test_only_loopback(self):
        for host in ("0.0.0.0", "192.168.1.10", "localhost", "::"):
            process, _ = start("--host", host)
            self.assertEqual(process.wait(timeout=30), 2, host)
            self.assertIn("loopback", process.stderr.read())
            process.stdout.close()
            process.stderr.close()

    def test_account(self):
        user = self.post("/service/login.php", email="singer@example.org", psw="velmar", id_device="d")
        self.assertEqual([user.findtext(".//" + k) for k in ("user_id", "name", "surname")], ["1", "Demo", "Singer"])
        refused = self.post("/service/login.php", email="singer@example.org", psw="wrong", id_device="d")
        self.assertIsNone(refused.find(".//user_id"))
        self.assertTrue(refused.findtext("msg"))

    def test_news_songs_download_and_play(self):
        news = self.post("/service/songlist_news.php", lang="2").findall(".//song")
        self.assertGreaterEqual(len(news), 3)
        kinds = set()
        for song in news:
            # The client takes the address and size from the song's record.
            record = self.post("/service/song_info.php", lang="2", id_product=song.findtext("productid"), id_song="")
            data = self.get(record.findtext(".//url"))
            self.assertEqual(len(data), int(record.findtext(".//size")))
            path = os.path.join(self.folder.name, "download." + song.findtext("format").lower())
            with open(path, "wb") as f:
                f.write(data)
            if song.findtext("format") == "MP3":
                tags = ID3(path)
                self.assertEqual(str(tags["TIT2"]), song.findtext("title"))
                self.assertGreater(len(tags.getall("SYLT")[0].text), 20)
                cdg = self.get(record.findtext(".//url")[:-3] + "cdg")
                self.assertTrue(cdg and len(cdg) % 24 == 0)
                kinds.add("mp3+sylt+cdg")
                continue
            midi = mido.MidiFile(path)
            texts = [m for m in mido.merge_tracks(midi.tracks) if m.type in ("text", "lyrics")]
            xf = [m for m in mido.merge_tracks(midi.tracks) if m.type == "sequencer_specific"
                  and list(m.data[:3]) == [0x43, 0x7B, 0x01]]
            melody = [m for m in mido.merge_tracks(midi.tracks) if m.type == "note_on" and m.channel == 3]
            self.assertGreater(len(texts), 20)
            self.assertTrue(melody)
            if any(m.type == "text" and m.text.startswith("@K") for m in texts):
                self.assertTrue(xf)
                kinds.add("kar+chords")
            else:
                kinds.add("midi+melody")
        self.assertEqual(kinds, {"mp3+sylt+cdg", "kar+chords", "midi+melody"})

    def test_search_and_listings(self):
        found = self.post("/service/songlist.php", lang="2", search="harbour")
        self.assertEqual([s.findtext("title") for s in found.findall("song")], ["Harbour Song"])
        self.assertEqual(found.findtext("name"), "Nora Vell")
        self.assertFalse(self.post("/service/songlist.php", lang="2", search="nothing like it").findall("song"))
        listed = self.post("/service/songlist.php", lang="2", interpreter="Nora Vell")
        self.assertEqual(listed[0].tag, "list")
        self.assertEqual(len(listed.findall(".//song")), 1)

    def test_versions_and_bank(self):
        with open(os.path.join(SERVICE, "..", "CMakeLists.txt")) as f:
            version = re.search(r"project\(VelmarPC VERSION ([0-9.]+)", f.read()).group(1)
        checked = ET.fromstring(self.get(self.base + "/version_checker/check_version_velmarpc.php?target=linux"))
        self.assertEqual(checked.findtext(".//sw_version"), version)
        bank = ET.fromstring(self.get(self.base + "/version_checker/check_soundfont.php"))
        data = self.get(bank.findtext(".//url_update"))
        self.assertEqual(len(data), int(bank.findtext(".//size")))
        self.assertEqual(hashlib.md5(data).hexdigest(), bank.findtext(".//hash"))
        self.assertEqual(data[:4], b"RIFF")

    def test_banners_and_pages(self):
        banners = json.loads(self.get(self.base + "/banners/get_banners.php?lang=IT"))["banners"]
        self.assertTrue(banners)
        for banner in banners:
            self.assertEqual(self.get(banner["image_url"])[:8], b"\x89PNG\r\n\x1a\n")
            self.assertTrue(self.get(banner["link_url"]).startswith(b"<!DOCTYPE html>"))
        # The account page's links lead to the store's own pages.
        self.assertIn(b"singer@example.org", self.get(self.base + "/customer/account/create/"))

    def test_nothing_outside_the_catalogue(self):
        for path in ("/files/..%2Fcatalogue.json", "/files/.hidden", "/img/..%2F..%2Fetc%2Fpasswd",
                     "/_control/requests", "/service/unknown.php"):
            with self.assertRaises(urllib.error.HTTPError, msg=path) as caught:
                self.get(self.base + path)
            self.assertEqual(caught.exception.code, 404)
            caught.exception.close()


if __name__ == "__main__":
    unittest.main()
