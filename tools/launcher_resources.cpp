#include "tools/launcher_resources.h"

#include <algorithm>

#include "tools/image_files.h"
#include "tools/pe_layout.h"

namespace tesmo::tools {

namespace {

const ResourceName kSplashName{kSplashResourceId, {}};
// Windows reads a process's version information and manifest from resource 1.
const ResourceName kFirst{1, {}};
const ResourceName kIconGroupName{0, kSplashIconName};

bool is(const Resource& resource, std::uint16_t type, const ResourceName& name) {
    return !resource.type.named() && resource.type.id == type && resource.name == name;
}

const Resource* find(const std::vector<Resource>& resources, std::uint16_t type,
                     const ResourceName& name) {
    for (const Resource& resource : resources) {
        if (is(resource, type, name)) return &resource;
    }
    return nullptr;
}

// Returns why the stub's resources cannot take them.
std::string setVersionAndManifest(std::vector<Resource>& resources, const LauncherImages& images) {
    std::string error;
    if (images.versionInfo) {
        std::string resource = versionResource(*images.versionInfo, error);
        if (!error.empty()) return "version information: " + error;
        std::erase_if(resources,
                      [](const Resource& r) { return is(r, kResourceTypeVersion, kFirst); });
        resources.push_back({{kResourceTypeVersion, {}}, kFirst, 0, 0, resource});
    }
    if (changesManifest(images.executable)) {
        auto manifest = std::find_if(resources.begin(), resources.end(), [](const Resource& r) {
            return is(r, kResourceTypeManifest, kFirst);
        });
        if (manifest == resources.end()) return "the stub has no application manifest";
        manifest->data = applyManifestChoices(manifest->data, images.executable, error);
    }
    return error;
}

}  // namespace

ImageEdit setLauncherImages(std::string_view stub, const LauncherImages& images) {
    if (images.empty()) return {std::string(stub), {}};
    ResourceList list = readResources(stub);
    if (!list.error.empty()) return {{}, "the stub's resources cannot be read: " + list.error};
    std::vector<Resource>& resources = list.resources;
    std::string error;

    if (images.splashBitmap) {
        std::optional<Bitmap> bitmap = bitmapFromFile(*images.splashBitmap, error);
        if (!bitmap) return {{}, "splash bitmap: " + error};
        std::erase_if(resources,
                      [](const Resource& r) { return is(r, kResourceTypeBitmap, kSplashName); });
        resources.push_back({{kResourceTypeBitmap, {}}, kSplashName, 0, 0, bitmap->resource});
    }
    if (images.splashImage) {
        std::erase_if(resources,
                      [](const Resource& r) { return is(r, kResourceTypeData, kSplashName); });
        resources.push_back({{kResourceTypeData, {}}, kSplashName, 0, 0, *images.splashImage});
    }
    if (images.icon) {
        // The images of a group this replaces would be left behind unnamed by anything.
        std::vector<std::uint16_t> replaced;
        for (const Resource& resource : resources) {
            if (is(resource, kResourceTypeGroupIcon, kIconGroupName)) {
                for (std::uint16_t id : iconIdsOfGroup(resource.data)) replaced.push_back(id);
            }
        }
        std::erase_if(resources, [&](const Resource& r) {
            return is(r, kResourceTypeGroupIcon, kIconGroupName) ||
                   (!r.type.named() && r.type.id == kResourceTypeIcon && !r.name.named() &&
                    std::find(replaced.begin(), replaced.end(), r.name.id) != replaced.end());
        });
        std::uint16_t firstId = 1;
        for (const Resource& resource : resources) {
            if (!resource.type.named() && resource.type.id == kResourceTypeIcon &&
                !resource.name.named()) {
                firstId = std::max<std::uint16_t>(firstId, resource.name.id + 1);
            }
        }
        std::optional<IconResources> icon = iconFromFile(*images.icon, firstId, error);
        if (!icon) return {{}, "icon: " + error};
        for (std::size_t i = 0; i < icon->images.size(); ++i) {
            resources.push_back({{kResourceTypeIcon, {}},
                                 {static_cast<std::uint16_t>(firstId + i), {}},
                                 0,
                                 0,
                                 icon->images[i]});
        }
        resources.push_back({{kResourceTypeGroupIcon, {}}, kIconGroupName, 0, 0, icon->group});
    }
    if (std::string fault = setVersionAndManifest(resources, images); !fault.empty())
        return {{}, fault};
    return writeResources(stub, resources);
}

LauncherImages readLauncherImages(std::string_view launcher, std::string& error) {
    LauncherImages images;
    images.executable.architecture = imageArchitecture(launcher).value_or("x86");
    ResourceList list = readResources(launcher);
    if (!list.error.empty()) {
        error = list.error;
        return images;
    }
    std::string ignored;
    if (const Resource* bitmap = find(list.resources, kResourceTypeBitmap, kSplashName)) {
        images.splashBitmap = bitmapFileFromResource(bitmap->data, ignored);
    }
    if (const Resource* data = find(list.resources, kResourceTypeData, kSplashName)) {
        images.splashImage = data->data;
    }
    const Resource* version = find(list.resources, kResourceTypeVersion, kFirst);
    if (version && version->language == 0 && version->codePage == 0) {
        images.versionInfo = readVersionResource(version->data);
    }
    if (const Resource* manifest = find(list.resources, kResourceTypeManifest, kFirst)) {
        if (std::optional<ExecutableChoices> choices = readManifestChoices(manifest->data)) {
            choices->architecture = images.executable.architecture;
            images.executable = *choices;
        }
    }
    if (const Resource* group = find(list.resources, kResourceTypeGroupIcon, kIconGroupName)) {
        images.icon = iconFileFromResources(
            group->data,
            [&](std::uint16_t id) -> std::optional<std::string> {
                const Resource* image = find(list.resources, kResourceTypeIcon, {id, {}});
                if (!image) return std::nullopt;
                return image->data;
            },
            ignored);
    }
    return images;
}

}  // namespace tesmo::tools
