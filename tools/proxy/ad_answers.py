"""AD's answers where Samba answers otherwise, as ad-answers.tsv beside this
file keeps them (its first lines say the format)."""

import collections
import os
import re

PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ad-answers.tsv")
Answer = collections.namedtuple("Answer", "code text source")
UNESCAPED = {"\\n": "\n", "\\t": "\t", "\\\\": "\\"}


def escape(text):
    """text as the file writes it, which is also how the proxy logs it."""
    return text.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")


def load(path=PATH):
    """{name: Answer} of the file."""
    answers = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 4 or not fields[1].isdigit() or fields[0] in answers:
                raise ValueError("%s:%d: not a new name, a code, a text and a source, separated by tabs"
                                 % (path, number))
            name, code, text, source = fields
            answers[name] = Answer(int(code), re.sub(r"\\[nt\\]", lambda m: UNESCAPED[m.group()], text), source)
    return answers
