"""The store's answers from a catalogue made by make_catalogue.py: the news,
searches, song records, files, banners, the version check and the sound bank.
"""
import hashlib
import html
import json
import os
import urllib.parse


def escape(text):
    return str(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def xml(inner):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<melodrome_message>' + inner
            + "</melodrome_message>").encode()


PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>{title}</title></head>
<body style="font-family: sans-serif; max-width: 40em; margin: 2em auto">
<h1>{title}</h1>{body}</body></html>
"""


class Catalogue:
    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        with open(os.path.join(self.folder, "catalogue.json")) as f:
            data = json.load(f)
        self.account = dict(data["account"])
        self.program_version = data["program_version"]
        self.soundfont = data["soundfont"]
        self.songs = data["songs"]
        self.banners = data["banners"]
        self._bank_md5 = None

    # -- replies ------------------------------------------------------------

    def song_xml(self, song, base=None):
        parts = ["<song>", "<songid>%d</songid>" % song["songid"], "<productid>%d</productid>" % song["productid"]]
        for element, key in (("title", "title"), ("authors", "authors"), ("interpreters", "artist"),
                             ("genre", "genre"), ("format", "format"), ("lenght", "length"), ("bpm", "bpm"),
                             ("key", "key")):
            parts.append("<%s>%s</%s>" % (element, escape(song[key]), element))
        if base is not None:
            parts.append("<url>%s</url><size>%d</size>" % (escape(self.file_url(base, song["file"])),
                                                           os.path.getsize(self.path(song["file"]))))
        parts.append("<download>0</download></song>")
        return "".join(parts)

    def answer(self, path, query, form, base):
        """(status, body, content type) for a path the catalogue serves, or None."""
        if path == "/service/songlist_news.php":
            return 200, xml("<list>" + "".join(self.song_xml(s) for s in self.songs) + "</list>"), "text/xml"
        if path == "/service/songlist.php":
            return 200, self.songlist(form), "text/xml"
        if path == "/service/song_info.php":
            wanted = form.get("id_product", "")
            for song in self.songs:
                if str(song["productid"]) == wanted:
                    return 200, xml(self.song_xml(song, base)), "text/xml"
            return 200, xml("<msg>No such song</msg>"), "text/xml"
        if path == "/version_checker/check_version_velmarpc.php":
            # This version is current: nothing to download.
            return 200, xml("<velmarpc><sw_version>%s</sw_version><url_update></url_update><size>0</size>"
                            "</velmarpc>" % escape(self.program_version)), "text/xml"
        if path == "/version_checker/check_soundfont.php":
            size = os.path.getsize(self.soundfont["path"])
            return 200, xml("<soundfont><version>%s</version><url_update>%s/files/Basic.sfc</url_update>"
                            "<size>%d</size><hash>%s</hash></soundfont>"
                            % (escape(self.soundfont["version"]), base, size, self.bank_md5())), "text/xml"
        if path == "/banners/get_banners.php":
            return 200, self.banner_list(base), "application/json"
        if path == "/files/Basic.sfc":
            return 200, self.read(self.soundfont["path"]), "application/octet-stream"
        if path.startswith("/files/"):
            name = urllib.parse.unquote(path[len("/files/"):])
            if self.servable(name, "files"):
                return 200, self.read(self.path(name)), "application/octet-stream"
            return None
        if path.startswith("/img/"):
            name = urllib.parse.unquote(path[len("/img/"):])
            if self.servable(name, "img"):
                return 200, self.read(os.path.join(self.folder, "img", name)), "image/png"
            return None
        return self.page(path)

    def songlist(self, form):
        if "interpreter" in form or "genre" in form:
            key, value = ("artist", form["interpreter"]) if "interpreter" in form else ("genre", form["genre"])
            songs = [s for s in self.songs if s[key].casefold() == value.casefold()]
            return xml("<list>" + "".join(self.song_xml(s) for s in songs) + "</list>")
        text = form.get("search", "").casefold()
        found = [s for s in self.songs if text and any(text in s[k].casefold() for k in ("title", "artist", "genre"))]
        parts = []
        # Artists and genres first, then the songs: each parser of the client
        # picks its own elements out of one reply.
        for number, artist in enumerate(sorted({s["artist"] for s in found})):
            count = sum(1 for s in self.songs if s["artist"] == artist)
            parts.append("<interpreter/><interpreter_id>%d</interpreter_id><name>%s</name><num_songs>%d</num_songs>"
                         % (900 + number, escape(artist), count))
        parts += [self.song_xml(s) for s in found]
        for number, genre in enumerate(sorted({s["genre"] for s in found})):
            count = sum(1 for s in self.songs if s["genre"] == genre)
            parts.append("<genre/><genre_id>%d</genre_id><name>%s</name><num_songs>%d</num_songs>"
                         % (700 + number, escape(genre), count))
        return xml("".join(parts))

    def banner_list(self, base):
        banners = []
        for b in self.banners:
            link = b["link"] if b["link"].startswith("http") else base + b["link"]
            banners.append({"image_url": base + "/img/" + urllib.parse.quote(b["image"]),
                            "background_color": b["background_color"], "title": b["title"],
                            "title_color": b["title_color"], "subtitle": b["subtitle"],
                            "subtitle_color": b["subtitle_color"], "link_url": link})
        return json.dumps({"banners": banners}).encode()

    def page(self, path):
        """The store's few web pages: the links of the account page and the banners."""
        account = "<p>This local store has one account: e-mail <b>%s</b>, password <b>%s</b>.</p>" % (
            html.escape(self.account["email"]), html.escape(self.account["psw"]))
        pages = {
            "/customer/account/create/": ("Create an account", account),
            "/customer/account/forgotpassword/": ("Forgotten password", account),
            "/news/": ("News of the week", "<ul>" + "".join(
                "<li>%s &ndash; %s</li>" % (html.escape(s["artist"]), html.escape(s["title"])) for s in self.songs)
                + "</ul><p>Download them from the player's library, under News.</p>"),
        }
        if path not in pages:
            return None
        title, body = pages[path]
        return 200, PAGE.format(title=html.escape(title), body=body).encode(), "text/html; charset=utf-8"

    # -- files --------------------------------------------------------------

    def file_url(self, base, name):
        return base + "/files/" + urllib.parse.quote(name)

    def path(self, name):
        return os.path.join(self.folder, "files", name)

    def servable(self, name, kind):
        # Only names of the catalogue's own folders, never a path out of them,
        # and no link that leads out either.
        path = os.path.join(self.folder, kind, name)
        real = os.path.realpath(path)
        own = os.path.realpath(os.path.join(self.folder, kind))
        return "/" not in name and not name.startswith(".") and os.path.commonpath([own, real]) == own \
            and os.path.isfile(real)

    @staticmethod
    def read(path):
        # Served a piece at a time from disk: a connection holds one piece,
        # whatever the file's size.
        return FileBody(path)

    def bank_md5(self):
        if self._bank_md5 is None:
            digest = hashlib.md5()
            with open(self.soundfont["path"], "rb") as f:
                for piece in iter(lambda: f.read(1 << 16), b""):
                    digest.update(piece)
            self._bank_md5 = digest.hexdigest()
        return self._bank_md5


class FileBody:
    """A file's bytes read where they are asked for. The file stays open
    until close(), so a name replaced meanwhile still serves the file that
    was announced."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDONLY | os.O_CLOEXEC)
        self.size = os.fstat(self.fd).st_size

    def __len__(self):
        return self.size

    def read(self, start, count):
        return os.pread(self.fd, max(0, min(count, self.size - start)), start)

    def close(self):
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1

    def __del__(self):
        self.close()
