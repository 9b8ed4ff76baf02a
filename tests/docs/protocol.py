"""The protocol document as validators, and the built driver as a child on pipes."""

import json
import os
import select
import subprocess
import tempfile
import time

import jsonschema


class Document:
    """docs/openrpc.json: its methods, its schemas, and validation of params and answers."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as file:
            self.doc = json.load(file)
        self.schemas = self.doc["components"]["schemas"]
        self.methods = {method["name"]: method for method in self.doc["methods"]}
        self.resolver = jsonschema.RefResolver.from_schema(self.doc)
        for name, schema in self.schemas.items():
            jsonschema.Draft7Validator.check_schema(schema)

    def action_types(self):
        prefix = "action."
        return [name[len(prefix):] for name in self.schemas if name.startswith(prefix)]

    def errors(self, instance, schema):
        """Every way the instance breaks the schema, as readable lines."""
        validator = jsonschema.Draft7Validator(schema, resolver=self.resolver)
        found = []
        for error in validator.iter_errors(instance):
            # A oneOf failure says little by itself: name the branch that came nearest.
            best = jsonschema.exceptions.best_match([error])
            where = "/".join(str(part) for part in best.absolute_path)
            found.append(f"at /{where}: {best.message[:300]}")
        return found

    def ref(self, name):
        return {"$ref": "#/components/schemas/" + name}

    def params_schema(self, method):
        """The by-name params of a method as one object schema; unknown names are refused."""
        params = self.methods[method]["params"]
        return {
            "type": "object",
            "properties": {param["name"]: param["schema"] for param in params},
            "required": [param["name"] for param in params if param.get("required")],
            "additionalProperties": False,
        }

    def check_params(self, method, params):
        if method not in self.methods:
            return [f"method {method} is not in the document"]
        errors = self.errors(params, self.params_schema(method))
        action = params.get("action") if method == "automation.execute" else None
        if errors and isinstance(action, dict):
            # Say what is wrong with the action itself, not only that no action schema took it.
            name = "action." + str(action.get("actionType"))
            if name in self.schemas:
                errors = [f"action: {error}" for error in self.errors(action, self.ref(name))] or errors
        return errors

    def check_answer(self, method, answer):
        """The answer line against the document: the line, the method's result, the envelope."""
        if "error" in answer:
            problems = self.errors(answer, self.ref("response.error"))
            codes = self.error_codes(method)
            if answer.get("error", {}).get("code") not in codes:
                problems.append(f"error code {answer.get('error')} is not listed for {method}")
            return problems
        problems = self.errors(answer, self.ref("response.result"))
        if problems or method not in self.methods:
            return problems
        result = answer["result"]
        problems = self.errors(result, self.methods[method]["result"]["schema"])
        if method == "automation.execute" and not problems:
            problems = self.check_envelope(result)
        return problems

    def check_envelope(self, envelope):
        action_type = envelope["actionType"]
        known = "action." + action_type in self.schemas
        if envelope["ok"]:
            if not known:
                return [f"success of {action_type}, which the document does not have"]
            return self.errors(envelope["result"], self.ref("result." + action_type))
        if not known:
            # Only the dispatcher answers for a type it does not know.
            return self.errors(envelope, self.ref("envelope.failure"))
        return self.errors(envelope, self.ref("failure." + action_type))

    def error_codes(self, method):
        listed = {-32601}  # any name the driver does not know
        for error in self.methods.get(method, {}).get("errors", []):
            if "$ref" in error:
                error = self.doc["components"]["errors"][error["$ref"].rsplit("/", 1)[1]]
            listed.add(error["code"])
        return listed


class Driver:
    """The driver on a simulated desktop, in a temporary directory of its own."""

    def __init__(self, binary, scenario=None, env=None):
        self.scratch = tempfile.TemporaryDirectory(prefix="dorvex-docs-")
        environment = dict(os.environ)
        environment.update({"DORVEX_PLATFORM": "sim", "TMPDIR": self.scratch.name})
        environment.pop("DORVEX_SIM_SCENARIO", None)
        if scenario:
            environment["DORVEX_SIM_SCENARIO"] = scenario
        environment.update(env or {})
        self.process = subprocess.Popen(
            [binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=environment, cwd=self.scratch.name)
        self.buffer = b""
        self.answers = {}
        self.next_id = 1

    def send(self, line):
        self.process.stdin.write(line.encode("utf-8") + b"\n")
        self.process.stdin.flush()

    def request(self, method, params=None, request_id=None, timeout=15.0):
        """Sends one request and waits for the answer with its id (others are kept)."""
        if request_id is None:
            request_id = f"r{self.next_id}"
            self.next_id += 1
        line = {"jsonrpc": "2.0", "id": request_id, "method": method}
        if params is not None:
            line["params"] = params
        self.send(json.dumps(line))
        return self.answer(request_id, timeout)

    def answer(self, request_id, timeout=15.0):
        deadline = time.monotonic() + timeout
        while request_id not in self.answers:
            line = self.read_line(deadline - time.monotonic())
            if line is None:
                return None
            answer = json.loads(line)
            self.answers[answer["id"]] = answer
        return self.answers.pop(request_id)

    def read_line(self, timeout):
        out = self.process.stdout.fileno()
        while b"\n" not in self.buffer:
            ready, _, _ = select.select([out], [], [], max(timeout, 0))
            if not ready:
                return None
            chunk = os.read(out, 65536)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode("utf-8")

    def finish(self, timeout=10.0):
        """Closes the input; every line still to come, then the exit status."""
        self.process.stdin.close()
        lines = []
        deadline = time.monotonic() + timeout
        while True:
            line = self.read_line(deadline - time.monotonic())
            if line is None:
                break
            lines.append(json.loads(line))
        status = self.process.wait(timeout=max(deadline - time.monotonic(), 1))
        stderr = self.process.stderr.read()
        self.process.stdout.close()
        self.process.stderr.close()
        self.scratch.cleanup()
        return lines, status, stderr
