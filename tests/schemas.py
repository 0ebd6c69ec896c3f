"""The documents' JSON Schemas (docs/schema/) as a check of what the program writes.

schema_problem(document, command) takes one parsed line that the command word
wrote through a pipe and returns None, or a text naming the schema and the
member that does not match. Beyond the draft, members must come in the order
the schema lists them: callers may rely on it."""
import json
import os

import jsonschema
from jsonschema import Draft202012Validator

FOLDER = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "docs", "schema")
# The command words that write JSON through a pipe, each with a schema of its name; any other word but
# "report" is unknown.
WORDS = {"version", "list", "send", "test", "driver", "watch", "purge", "status"}


def ordered_properties(validator, properties, instance, schema):
    """"properties" of the draft, and the members in the order listed: the program writes them so."""
    yield from Draft202012Validator.VALIDATORS["properties"](validator, properties, instance, schema)
    if validator.is_type(instance, "object"):
        listed = [key for key in properties if key in instance]
        if [key for key in instance if key in properties] != listed:
            yield jsonschema.ValidationError("members out of order: %s, listed as %s" % (list(instance), listed))


def load():
    schemas = {}
    for name in sorted(os.listdir(FOLDER)):
        if name.endswith(".json"):
            with open(os.path.join(FOLDER, name), encoding="utf-8") as f:
                schemas[name[:-len(".json")]] = json.load(f)
    for schema in schemas.values():
        Draft202012Validator.check_schema(schema)
    ordered = jsonschema.validators.extend(Draft202012Validator, {"properties": ordered_properties})
    try:  # jsonschema 4.18 and later resolve through a registry
        from referencing import Registry, Resource
        registry = Registry().with_resources((s["$id"], Resource.from_contents(s)) for s in schemas.values())
        return {name: ordered(schema, registry=registry) for name, schema in schemas.items()}
    except ImportError:  # Debian 12's 4.10
        store = {schema["$id"]: schema for schema in schemas.values()}
        return {name: ordered(schema, resolver=jsonschema.RefResolver.from_schema(schema, store=store))
                for name, schema in schemas.items()}


VALIDATORS = load()


def schema_problem(document, command):
    """None when `document` is what `command` may write, else why not."""
    word = command.encode("utf-8").lower().decode("utf-8")  # the program ignores the case of ASCII letters only
    if word in ("", "report"):
        return "%r writes text, not JSON: %r" % (command, document)
    name = word if word in WORDS else "unknown_command"
    if name in ("send", "test") and isinstance(document, dict) and "stage" in document:
        name = "progress"
    if isinstance(document, dict) and document.get("error") == "BAD_NUMBER":
        name = "bad_number"  # one document whatever the command
    errors = list(VALIDATORS[name].iter_errors(document))
    if not errors:
        return None
    return "%s.json: %s in %s" % (name, "; ".join(map(explain, errors)), json.dumps(document, ensure_ascii=False))


def explain(error):
    """Where and why; for a "oneOf", the errors of the outcomes that came nearest to matching."""
    if not error.context:
        return "%s: %s" % ("/".join(str(key) for key in error.absolute_path) or "the document", error.message)
    branches = {}
    for inner in error.context:
        branches.setdefault(inner.relative_schema_path[0], []).append(inner)
    fewest = min(map(len, branches.values()))
    return " or ".join("; ".join(map(explain, errors)) for errors in branches.values() if len(errors) == fewest)


def self_check():
    """Documents the schemas must refuse: a schema that takes anything checks nothing."""
    version = VALIDATORS["version"].schema["properties"]["v"]["const"]  # the one the schemas describe
    wrong = [("version", {"ok": True}), ("version", {"ok": True, "v": version, "x": 1}),
             ("send", {"stage": "write", "job": 0}), ("send", {"printer": "A", "ok": True, "job": 1, "bytes": 1}),
             ("test", {"ok": False, "error": "EMPTY", "win32": 0, "message": "Пустой поток", "printer": "A"}),
             ("purge", {"ok": True, "deleted": 0, "failed": 1, "skipped": 0, "printer": "A"}),
             ("watch", {"ok": False, "fate": "no_printer", "error": "NO_PRINTER", "message": "", "win32": 0}),
             ("list", {"ok": True, "v": version, "default": "", "usb_ok": True, "usb": [], "lpt": [],
                       "net": [{"port": "IP_1", "host": "10.0.0.1", "tcp": 9100, "protocol": "raw", "queue": "",
                                "asked": 1, "answer": "maybe", "ms": 5, "win32": 0}], "printers": []})]
    return ["%s took %s" % (word, document) for word, document in wrong if schema_problem(document, word) is None]
