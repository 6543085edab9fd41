-- The demo page: one thumbnail list filled from this folder when the page starts.
return {
  objects = {
    { plugin = "../../build/plugin/Gallimo.qlx", name = "Thumbs", rect = {20, 20, 620, 420},
      properties = "100,100,40,20,1,1,3,16777215,15790320,2,1,8421504,1,1,1,1,1,1",
      events = {
        ["On Select"] = [[
          local selected = Gallimo.GetSelectedItems("Thumbs") or {}
          print("selected " .. table.concat(selected, ","))
        ]],
        ["On Double-Click"] = [[
          local info = Gallimo.GetItemInfo("Thumbs", e_Item)
          print("opened " .. info.filename .. " (" .. info.image_width .. " x " .. info.image_height .. ")")
        ]],
        ["On Key"] = [[ print("key " .. e_Key .. (e_Modifiers.shift and " with shift" or "")) ]],
        ["On Focus"] = [[ print("the list has the focus") ]],
      } },
  },
  start = [[
    local files = {"sunrise.jpg", "ocean.png", "forest.bmp", "cherry.gif", "desert.tga",
                   "night.pcx", "meadow.tif", "missing.png"}
    local added = Gallimo.AddFiles("Thumbs", files, function(path, index)
      print("adding " .. path .. " as item " .. index)
    end)
    print("added " .. added .. " of " .. #files .. " files; " .. Gallimo.GetItemCount("Thumbs") .. " items")
  ]],
}
