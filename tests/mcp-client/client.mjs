// Drives dorvex-mcp with the official MCP TypeScript SDK's client over stdio, on the default
// simulated desktop: connect, list the tools, call a read, an element action, a capture (its
// picture must be a PNG of the display's pixel size) and a bad call, ping, close.
// Usage: node client.mjs PATH/TO/dorvex-mcp   (exit 0 passed, 1 failed, 77 SDK not installed)
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

let Client, StdioClientTransport;
try {
  ({ Client } = await import("@modelcontextprotocol/sdk/client/index.js"));
  ({ StdioClientTransport } = await import("@modelcontextprotocol/sdk/client/stdio.js"));
} catch {
  console.log("the MCP SDK is not installed (npm ci in tests/mcp-client): skipped");
  process.exit(77);
}

const server = process.argv[2];
const failures = [];
function check(condition, what) {
  if (!condition) failures.push(what);
}

const directory = mkdtempSync(join(tmpdir(), "dorvex-mcp-client-"));
const transport = new StdioClientTransport({
  command: server,
  env: { ...process.env, TMPDIR: directory, DORVEX_PLATFORM: "sim" },
  stderr: "pipe",
});
let standardError = "";
transport.stderr?.on("data", (chunk) => (standardError += chunk));
const client = new Client({ name: "dorvex-test-client", version: "1.0.0" });

try {
  await client.connect(transport);
  check(client.getServerVersion()?.name === "dorvex-mcp", "server name");

  const { tools } = await client.listTools();
  const names = new Set(tools.map((tool) => tool.name));
  for (const name of ["system_ping", "permissions_status", "desktop_get_ui_tree",
                      "desktop_capture_screen", "desktop_invoke_element_action",
                      "desktop_run_applescript", "desktop_send_input"]) {
    check(names.has(name), `tools/list has ${name}`);
  }
  check(tools.every((tool) => tool.inputSchema?.type === "object"), "object input schemas");

  const windows = await client.callTool({ name: "desktop_list_windows", arguments: {} });
  check(!windows.isError && windows.structuredContent?.ok === true, "a read answers its envelope");

  const found = await client.callTool({
    name: "desktop_find_elements",
    arguments: { appBundleId: "com.apple.TextEdit", title: "OK" },
  });
  const path = found.structuredContent?.result?.matches?.[0]?.path;
  check(Array.isArray(path), "the search finds the OK button");
  const pressed = await client.callTool({
    name: "desktop_invoke_element_action",
    arguments: { appBundleId: "com.apple.TextEdit", elementPath: path, elementAction: "AXPress" },
  });
  check(!pressed.isError, "the element action succeeds");

  const capture = await client.callTool({ name: "desktop_capture_screen", arguments: { monitorId: 1 } });
  const image = capture.content?.find((content) => content.type === "image");
  check(!capture.isError && image?.mimeType === "image/png", "a capture comes as image/png");
  if (image) {
    const png = Buffer.from(image.data, "base64");
    const signature = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
    check(png.subarray(0, 8).equals(signature), "the picture has the PNG signature");
    check(png.toString("latin1", 12, 16) === "IHDR", "the picture begins with its IHDR");
    // The default desktop's display: 1440 x 900 points at scale 2.
    check(png.readUInt32BE(16) === 2880 && png.readUInt32BE(20) === 1800,
          `the picture is the display's pixel size (${png.readUInt32BE(16)}x${png.readUInt32BE(20)})`);
  }
  check(typeof capture.structuredContent?.result?.filePath === "string", "the capture names its file");

  const bad = await client.callTool({ name: "desktop_get_ui_tree", arguments: { windowId: 987654 } });
  check(bad.isError === true, "a bad call is a tool error");
  check(bad.content?.[0]?.text === bad.structuredContent?.error?.message,
        "the tool error's text is the envelope's message");

  await client.ping();
} catch (error) {
  failures.push(`unexpected: ${error?.stack ?? error}`);
} finally {
  await client.close();
  rmSync(directory, { recursive: true, force: true });
}
check(standardError === "", `nothing on standard error (${standardError})`);

if (failures.length > 0) {
  console.log(`FAILED:\n  ${failures.join("\n  ")}`);
  process.exit(1);
}
console.log("dorvex-mcp passed with the official MCP client");
