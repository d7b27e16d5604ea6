#!/usr/bin/env python3
"""Writes a book site for the benchmarks: pages in GBK shaped for the first
default rule (index at /book/1/index.html, chapters /book/1/N.html).

  make_site.py DIR --chapters N [--chapter-bytes B] [--index-only]

Also writes DIR/urls.txt (one chapter path a line) for the curl side.
"""
import argparse
import os

WORDS = ["风起", "云涌", "夜行", "山门", "剑气", "长河", "孤城", "落日", "归来", "旧梦"]
PARAGRAPH = ("潮水退去的时候，码头上只剩下一盏灯。&ldquo;你来晚了。&rdquo;她说，"
             "声音轻得像雾&hellip;&hellip;他笑了笑&mdash;&mdash;没有回答，只把伞收起来。")


def title(n):
    return f"第{n}章 {WORDS[n % 10]}{WORDS[(n // 10) % 10]}之{WORDS[(n // 100) % 10]}"


def index_page(chapters):
    items = "\n".join(
        f'<li class="chapter"><a href="{n}.html" title="{title(n)}">{title(n)}</a></li>'
        for n in range(1, chapters + 1))
    return f"""<html><head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk">
<meta property="og:novel:book_name" content="星辰长河"/>
<meta property="og:novel:author" content="青石"/>
</head><body><ul>
{items}
</ul></body></html>""".encode("gbk")


def chapter_page(n, size):
    head = f"""<html><head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk"></head><body>
<h1>{title(n)}</h1>
<div id="content" class="content">""".encode("gbk")
    tail = "</div>\n<div class=\"footer\">下一章</div></body></html>".encode("gbk")
    para = f"<p>{PARAGRAPH}</p><br /><br />".encode("gbk")
    body = b""
    while len(head) + len(body) + len(para) + len(tail) <= size:
        body += para
    return head + body + tail


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("directory")
    parser.add_argument("--chapters", type=int, required=True)
    parser.add_argument("--chapter-bytes", type=int, default=10000)
    parser.add_argument("--index-only", action="store_true")
    args = parser.parse_args()
    book = os.path.join(args.directory, "book", "1")
    os.makedirs(book, exist_ok=True)
    with open(os.path.join(book, "index.html"), "wb") as f:
        f.write(index_page(args.chapters))
    if args.index_only:
        return
    with open(os.path.join(args.directory, "urls.txt"), "w") as urls:
        for n in range(1, args.chapters + 1):
            with open(os.path.join(book, f"{n}.html"), "wb") as f:
                f.write(chapter_page(n, args.chapter_bytes))
            urls.write(f"/book/1/{n}.html\n")


if __name__ == "__main__":
    main()
